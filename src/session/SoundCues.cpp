#include "session/SoundCues.h"

#include "session/Players.h"

namespace SoundCues
{

const char* fileName(SoundCue cue)
{
    switch (cue) {
    case SoundCue::Correct:
        return "Seikai.WAV";
    case SoundCue::Wrong:
        return "Machigai.WAV";
    case SoundCue::MoreCorrect:
        return "MusMax.WAV";
    case SoundCue::NotMoreCorrect:
        return "MusMin.WAV";
    }
    return "";
}

void openAll(Players& players)
{
    for (const SoundCue cue : AllSoundCues) {
        players.open(cue, QString::fromLatin1(fileName(cue)));
    }
}

void rewindAll(Players& players)
{
    for (const SoundCue cue : AllSoundCues) {
        players.rewind(cue);
    }
}

void rewind(Players& players, SoundCue cue)
{
    players.rewind(cue);
}

void play(Players& players, SoundCue cue)
{
    players.play(cue);
}

} // namespace SoundCues
