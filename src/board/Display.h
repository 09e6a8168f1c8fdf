#pragma once

#include <QtGlobal>

class Form1;

// Lays out problem `problemNumber` of the loaded series on the board and
// opens it for answering. Numbers outside the table show nothing.
void Display(Form1& form, qint16 problemNumber);
