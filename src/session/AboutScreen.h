#pragma once

#include "session/Control.h"

#include <QString>

// The About window. It exists only while it is open: each opening makes a new
// one and loads it afresh.
class AboutScreen
{
public:
    static constexpr float ClientWidth = 5655.0F;
    static constexpr float ClientHeight = 2085.0F;

    AboutScreen();

    QString Caption;
    quint32 BackColor;
    Control okButton;         // "OK"
    Control descriptionLabel; // the description
    Control versionLabel;     // toolkit, date and version

    bool Loaded = false;

    void load();
    // OK: unloads the window; the view then brings the main window to the front.
    void okClicked();

    static QString description();
    static QString versionLine();
};
