#pragma once

#include "session/SoundCue.h"

class Players;

namespace SoundCues
{

// Opens every cue's player on its file: Seikai.WAV, Machigai.WAV, MusMax.WAV
// and MusMin.WAV.
// The file a cue plays, a bare name looked up in the working directory.
const char* fileName(SoundCue cue);
void openAll(Players& players);
void rewindAll(Players& players);
void rewind(Players& players, SoundCue cue);
void play(Players& players, SoundCue cue);

} // namespace SoundCues
