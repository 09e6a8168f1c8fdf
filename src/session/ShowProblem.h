#pragma once

#include <QtGlobal>

class MainScreen;

// Every term label back to rest and hidden, every frame and group caption
// hidden: the empty board of the series list and of a new problem.
void ClearBoard(MainScreen& screen);

// Lays out problem `problemNumber` of the loaded series on the board and
// opens it for answering. Numbers outside the table show nothing.
void ShowProblem(MainScreen& screen, qint16 problemNumber);
