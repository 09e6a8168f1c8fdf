#pragma once

class MainScreen;

// Term `index` put on the board with its top-left corner at (left, top):
// kept on the board, it goes to the frame under its centre, as the layout
// has the frames.
void DropTermAt(MainScreen& screen, int index, float left, float top);
// Puts term `index`, already taken out of its frame, into `frame` (-1 for
// none: it stays where it lies), closes the gap it left and, once every
// term lies in a frame, checks the whole answer: every way a term lands.
void DropTerm(MainScreen& screen, int index, int frame);
