#pragma once

#include <QString>

class AboutScreen;
struct Progress;

// Everything the main window needs from the desktop beyond its own controls:
// message boxes, the modal About and record windows and ending the program.
class Dialogs
{
public:
    enum class Buttons { Ok, OkCancel };
    enum class Icon { Exclamation, Information, Critical };
    enum class Answer { Ok, Cancel };

    static constexpr const char16_t* Title = u"Velmorantからのメッセージ";

    virtual ~Dialogs() = default;
    // Shows a modal message box titled Title and returns the button pressed;
    // closing the box counts as Cancel.
    virtual Answer messageBox(const QString& text, Buttons buttons, Icon icon) = 0;
    // Opens the About window modally and returns when it has been closed.
    virtual void showAbout() = 0;
    // Opens the learner's record ("学習の記録") modally and returns when it
    // has been closed.
    virtual void showProgress(const Progress& progress) = 0;
    // Ends the program at once; nothing more runs after the current handler.
    virtual void endProgram() = 0;
};
