#pragma once

#include "session/SoundCue.h"

#include <QString>

// The sound players, one per cue. Each is opened once on its file and then
// rewound and played.
class Players
{
public:
    virtual ~Players() = default;
    // fileName is a bare name, looked up in the working directory.
    virtual void open(SoundCue cue, const QString& fileName) = 0;
    // The next play starts from the beginning.
    virtual void rewind(SoundCue cue) = 0;
    virtual void play(SoundCue cue) = 0;
};
