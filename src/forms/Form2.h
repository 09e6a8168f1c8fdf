#pragma once

#include "forms/Control.h"

#include <QString>

// The About window. It exists only while it is open: each opening makes a new
// one and loads it afresh.
class Form2
{
public:
    static constexpr float ClientWidth = 5655.0F;
    static constexpr float ClientHeight = 2085.0F;

    Form2();

    QString Caption;
    quint32 BackColor;
    Control Command1; // "OK"
    Control Label1;   // the description
    Control Label2;   // toolkit, date and version

    bool Loaded = false;

    void Form_Load();
    // OK: unloads the window; the view then brings the main window to the front.
    void Command1_Click();

    static QString description();
    static QString versionLine();
};
