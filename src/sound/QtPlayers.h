#pragma once

#include "session/Players.h"

#include <QString>

#include <array>
#include <memory>

class QSoundEffect;

// The sound players on QSoundEffect. A missing or unplayable file, or a
// desktop without sound, leaves a player silent; it never reports anything.
class QtPlayers : public Players
{
public:
    explicit QtPlayers(QString workDir);
    ~QtPlayers() override;
    QtPlayers(const QtPlayers&) = delete;
    QtPlayers& operator=(const QtPlayers&) = delete;

    void open(SoundCue cue, const QString& fileName) override;
    void rewind(SoundCue cue) override;
    void play(SoundCue cue) override;

    // The sound behind a cue, or nullptr while it has none.
    const QSoundEffect* effect(SoundCue cue) const;

private:
    QString workDir_;
    std::array<std::unique_ptr<QSoundEffect>, AllSoundCues.size()> effects_;
};
