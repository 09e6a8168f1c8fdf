#pragma once

#include <array>

// The four sounds the quiz makes, each with a player of its own.
enum class SoundCue { Correct, Wrong, MoreCorrect, NotMoreCorrect };

// Every cue, in the order the players are opened and rewound.
inline constexpr std::array<SoundCue, 4> AllSoundCues = {
    SoundCue::Correct, SoundCue::Wrong, SoundCue::MoreCorrect, SoundCue::NotMoreCorrect};
