#pragma once

#include "record/Answer.h"
#include "session/Players.h"
#include "session/Prompts.h"

#include <QList>
#include <QString>

#include <optional>

class Control;

// A mark the session stored or took away, by the problem it is on.
struct MarkChange {
    enum class Kind { Added, Removed };
    Kind kind = Kind::Added;
    QString heading;
};

// A verb that does not apply: nothing changed, and why, in Japanese.
struct Refusal {
    enum class Kind {
        NotNow, // not on this screen, or not at this point of the problem
        NoSuch  // names a term, frame, entry or button there is none of
    };
    Kind kind = Kind::NotNow;
    QString reason;
};

// What one thing the learner did changed, beyond the screen itself: what
// is left to show, the sound played, the answers checked (each stored, or
// kept to be stored with the next one), the marks stored and the control
// that should take the keyboard focus; or, refused, why nothing changed.
struct Outcome {
    std::optional<Refusal> refusal;
    QList<Prompt> prompts;
    std::optional<SoundCue> sound;
    QList<Answer> answers;
    QList<MarkChange> marks;
    const Control* focus = nullptr;
    // The program ends, or the window may close.
    bool ended = false;
};

// The session's players: each cue goes on to the front end's players, and
// the last one played is noted for the outcome.
class NotingPlayers : public Players
{
public:
    explicit NotingPlayers(Players& to) : to_(to) {}
    void open(SoundCue cue, const QString& fileName) override { to_.open(cue, fileName); }
    void rewind(SoundCue cue) override { to_.rewind(cue); }
    void play(SoundCue cue) override
    {
        played = cue;
        to_.play(cue);
    }

    std::optional<SoundCue> played;

private:
    Players& to_;
};
