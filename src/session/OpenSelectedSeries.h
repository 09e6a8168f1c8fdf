#pragma once

class MainScreen;

// Loads the series selected in seriesList and shows its first problem; entry 0
// replays the marks file.
void OpenSelectedSeries(MainScreen& screen);
