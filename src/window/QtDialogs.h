#pragma once

#include "session/Dialogs.h"

class MainWindow;

// Message boxes, the About and record windows and the end of the program on
// the desktop.
class QtDialogs : public Dialogs
{
public:
    // The main window: the boxes' parent, brought to the front after the
    // About window's OK, and closed at the end.
    void setMainWindow(MainWindow* view) { view_ = view; }

    Answer messageBox(const QString& text, Buttons buttons, Icon icon) override;
    void showAbout() override;
    void showProgress(const Progress& progress) override;
    void endProgram() override;

private:
    MainWindow* view_ = nullptr;
};
