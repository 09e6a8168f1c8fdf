#pragma once

#include "session/Players.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The players, made only when start() is called: loading the sound
// support and connecting to the sound server would otherwise delay the
// window's first frame. Until then every call is kept, and start() hands them
// to the real players in the order they came, so a sound asked for early
// plays, or stays silent, exactly as the real players decide.
class DeferredPlayers : public Players
{
public:
    using Factory = std::function<std::unique_ptr<Players>()>;
    explicit DeferredPlayers(Factory factory);
    ~DeferredPlayers() override;
    DeferredPlayers(const DeferredPlayers&) = delete;
    DeferredPlayers& operator=(const DeferredPlayers&) = delete;

    void open(SoundCue cue, const QString& fileName) override;
    void rewind(SoundCue cue) override;
    void play(SoundCue cue) override;

    // Makes the real players and replays every call so far. Without them
    // (no sound support installed) the players stay silent. Runs once.
    void start();
    bool started() const { return started_; }

    // The players in the sound module beside the program, or nullptr when
    // it is missing or cannot be loaded.
    static std::unique_ptr<Players> loadModule(const QString& modulePath, const QString& workDir);
    // Where the program looks for its sound module.
    static QString modulePath();

private:
    struct Call {
        enum class Action { Open, Rewind, Play } action;
        SoundCue cue;
        QString fileName; // of an Open
    };
    void call(const Call& c);

    Factory factory_;
    std::unique_ptr<Players> real_;
    std::vector<Call> pending_;
    bool started_ = false;
};
