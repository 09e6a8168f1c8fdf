#pragma once

class MainScreen;

// Brings the main window into its opening state: places the list screen,
// hides the board, reads the series catalogue and opens the sound players.
void RunStartUp(MainScreen& screen);
