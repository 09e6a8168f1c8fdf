#include "session/Prompts.h"

#include "session/Session.h"

#include <utility>

bool ShowPrompts(Session& session, const std::function<bool()>& ready)
{
    MainScreen& screen = session.screen();
    Dialogs& dialogs = session.dialogs();
    // Taken at once: a handler run while a box is open (a focus change)
    // shows its own prompts, never these.
    QList<Prompt> queue = std::exchange(screen.prompts, {});
    bool ended = false;
    while (!ended && !queue.isEmpty() && ready()) {
        const Prompt p = queue.takeFirst();
        switch (p.kind) {
        case Prompt::Kind::Message:
            dialogs.messageBox(p.text, p.buttons, p.icon);
            break;
        case Prompt::Kind::About:
            dialogs.showAbout();
            break;
        case Prompt::Kind::Progress:
            if (p.progress) {
                dialogs.showProgress(*p.progress);
            }
            break;
        case Prompt::Kind::Question:
            ended = session.answer(p.question, dialogs.messageBox(p.text, p.buttons, p.icon));
            // What the answer leaves comes before anything still queued.
            queue = std::exchange(screen.prompts, {}) + queue;
            break;
        }
    }
    return ended;
}

bool QueryClose(Session& session, const std::function<bool()>& ready)
{
    const bool mayClose = session.closeRequested();
    // Asked after the handler, and still able to refuse the close.
    const bool answered = ShowPrompts(session, ready);
    return mayClose || answered;
}
