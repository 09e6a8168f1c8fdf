#pragma once

#include <QtGlobal>

class Form1;

// Every item label back to rest and hidden, every frame and group caption
// hidden: the empty board of the series list and of a new problem.
void ClearBoard(Form1& form);

// Lays out problem `problemNumber` of the loaded series on the board and
// opens it for answering. Numbers outside the table show nothing.
void Display(Form1& form, qint16 problemNumber);
