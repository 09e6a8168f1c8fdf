#pragma once

class Form1;

// Brings the main window into its opening state: places the list screen,
// hides the board, reads the series catalogue and opens the sound players.
void RunStartUp(Form1& form);
