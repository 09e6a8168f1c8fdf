#pragma once

#include "marks/MarksPort.h"
#include "record/AnswerStore.h"
#include "series/SeriesState.h"
#include "session/Button.h"
#include "session/KeptMessages.h"
#include "session/MainScreen.h"
#include "session/SilentPlayers.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

class TextMeasure;

// What a session speaks through: where answers and marks go, and the front
// end's players and dialogs. Each one left out is the session's own: no
// record, the folder's marks file, players that make no sound, dialogs that
// keep what they are asked to show.
struct SessionPorts {
    std::unique_ptr<AnswerStore> record;
    std::unique_ptr<MarksPort> marks;
    Players* players = nullptr;
    Dialogs* dialogs = nullptr;
    // Series files of the catalogue left off the list (those hidden from a
    // learner's class).
    QStringList hiddenSeries;
    // Series given a 期限, listed first (Assigned).
    QList<DueSeries> dueSeries;
};

// One learner's session: its state, its ports, its players and dialogs and
// the screen they show, behind the learner's verbs. The window, the server,
// the previews and the check each hold one and call the verbs; how a front
// end's mouse, touch or keys become verbs is its own affair. A verb that
// does not apply now changes nothing and says why (Outcome::refusal).
class Session
{
public:
    Session(const QString& workDir, const TextMeasure& measure, SessionPorts ports = {});
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() = default;

    MainScreen& screen() { return screen_; }
    const MainScreen& screen() const { return screen_; }
    SeriesState& state() { return state_; }
    const SeriesState& state() const { return state_; }
    Dialogs& dialogs() { return screen_.dialogs; }
    MarksPort& marks() { return *marks_; }
    // What the session's own dialogs were asked to show since last taken.
    QStringList takeMessagesKept() { return std::exchange(kept_.messages, {}); }

    // The session as a value, and made again from one on the same folder:
    // start-up runs, what it tells is dropped (it was told when the session
    // began), and the value is taken up. False, with the learner told why
    // and the list shown, when its series is gone or has changed.
    SessionValue value() const { return screen_.value(); }
    bool resume(const SessionValue& value);

    // The learner's verbs.
    Outcome start();
    Outcome open(int entry);
    // Puts a term into a frame; the keyboard goes on to the next term that
    // lies in no frame.
    Outcome putIn(int term, int frame);
    // Puts a term with its top-left corner at (left, top) on the board: the
    // frame under it, as the layout has the frames, takes it.
    Outcome putAt(int term, float left, float top);
    // Picks a term up where it lies, carries it on to the frame that way,
    // puts it down in that frame, or puts it back as it was.
    Outcome pickUp(int term);
    Outcome carry(Direction way);
    Outcome putDown();
    Outcome putBack();
    Outcome press(Button button);
    // "終了" at the bottom: leaves the series, or on the list asks whether
    // to end the program.
    Outcome leave();
    Outcome showAbout();
    Outcome showProgress();
    // The learner's record has been read in: the list shows what it says.
    Outcome recordRead();
    // The window is being closed: false when marks could not be saved and
    // the learner is asked whether to close anyway (Question::CloseWithoutMarks).
    bool closeRequested();
    // The learner's answer to a question a verb asked; goes on where that
    // verb stopped. True when the program ends, or the window may close.
    bool answer(Question question, Dialogs::Answer answer);

    // The term picked up, or -1.
    int carried() const { return screen_.carry.term; }
    // Why `term` cannot be moved now, or nothing when it can.
    std::optional<Refusal> refusalToMove(int term) const;

private:
    template <typename F> Outcome run(F&& handlers);
    std::optional<Refusal> refusalToAnswer() const;
    std::optional<Refusal> refusalToPress(Button button) const;

    SeriesState state_;
    SilentPlayers silent_;
    KeptMessages kept_;
    std::unique_ptr<AnswerStore> record_;
    std::unique_ptr<MarksPort> marks_;
    MainScreen screen_;
};
