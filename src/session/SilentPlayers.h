#pragma once

#include "session/Players.h"

// Players that make no sound: for running the window without a desktop.
class SilentPlayers : public Players
{
public:
    void open(SoundCue /*cue*/, const QString& /*fileName*/) override {}
    void rewind(SoundCue /*cue*/) override {}
    void play(SoundCue /*cue*/) override {}
};
