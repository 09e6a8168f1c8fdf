#pragma once

#include <QString>

class MainScreen;

// Loads the series selected in seriesList and shows its first problem; entry 0
// replays the marks file.
void OpenSelectedSeries(MainScreen& screen);
// Leaves the list screen for a series titled `title` whose problems are in
// the table.
void ShowSeriesOpened(MainScreen& screen, const QString& title);
