#pragma once

#include "session/Dialogs.h"

#include "record/Progress.h"

#include <QString>

#include <functional>
#include <memory>

class Session;

// A question a handler asks. Its answer goes back to Session::answer, which
// goes on where the handler stopped.
enum class Question {
    Quit,              // "終了" on the series list
    EndWithoutMarks,   // ending from the list though marks could not be saved
    CloseWithoutMarks, // closing the window though marks could not be saved
};

// What a handler leaves for the window to show once it has returned and the
// window shows its effects: a message box, a question, the About window or
// the learner's record.
struct Prompt {
    enum class Kind { Message, Question, About, Progress };
    Kind kind = Kind::Message;
    QString text;
    Dialogs::Buttons buttons = Dialogs::Buttons::Ok;
    Dialogs::Icon icon = Dialogs::Icon::Exclamation;
    Question question = Question::Quit;
    std::shared_ptr<const Progress> progress; // the record a Progress prompt shows
};

// Shows what the session's handlers left to show, in order, through its
// dialogs. A question's answer goes back to the session, and what that
// leaves is shown next. `ready` runs before each box, to bring the window up to date; once it
// returns false (the program has ended) nothing more is shown. Returns
// whether an answer ended the program or let the window close.
bool ShowPrompts(Session& session, const std::function<bool()>& ready);

// The window is being closed through its title bar: runs closeRequested,
// then shows what it left, as ShowPrompts does, asking there whether to close
// without marks that could not be saved. Returns whether the window may
// close.
bool QueryClose(Session& session, const std::function<bool()>& ready);
