#pragma once

#include <QPointer>

#include <QString>
#include <QWidget>
#include <functional>

class Control;
class QAccessibleEvent;
class MainScreen;
class MainWindow;

// The board for the keyboard and for screen readers: the accessible names
// and descriptions of the main window's controls, the highlight of the frame
// a carried term would go to, and where the keyboard focus goes after a
// handler has run.
class BoardAccess
{
public:
    BoardAccess(MainScreen& form, MainWindow& view);

    // Names and descriptions from the model. Runs before the widgets are
    // shown or hidden, so a control that appears already has its new name.
    void updateNames();
    // Once what appears is shown, before anything hides: the frame
    // highlight, which terms Tab reaches, and the focus, moved on when the
    // focused widget is `focusLeaving`.
    void updateFocusAndHighlight(bool focusLeaving);

    // Where the name and description changes go: to the screen reader
    // bridge, or to a test, since an offscreen screen has no bridge.
    using Announcer = std::function<void(QAccessibleEvent*)>;
    void setAnnouncer(Announcer announcer) { announcer_ = std::move(announcer); }

private:
    void setName(const Control& control, const QString& name);
    void updateHighlight();
    void updateFocus(bool focusLeaving);
    void updateTermFocus();
    void announce(QWidget* widget, int type);

    MainScreen& form_;
    MainWindow& view_;
    QWidget* highlight_ = nullptr;
    Announcer announcer_;
};
