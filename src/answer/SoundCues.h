#pragma once

class Players;

namespace SoundCues
{

enum Player { Correct = 1, Wrong = 2, MoreCorrect = 3, NotMoreCorrect = 4 };

// File of each player, looked up in the working directory.
const char* fileName(int player);
// Sets up and opens the four players, in the order 1..4.
void openAll(Players& players);
// "Prev" to the four players, in the order 1..4.
void rewindAll(Players& players);
void rewind(Players& players, int player);
void play(Players& players, int player);

} // namespace SoundCues
