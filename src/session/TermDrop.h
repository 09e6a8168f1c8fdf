#pragma once

class MainScreen;

// Release of a dragged term label: the frame under its centre takes it.
void TermMouseUp(MainScreen& screen, int index);
// Puts term `index`, already taken out of its frame, into `frame` (-1 for
// none: it stays where it lies), closes the gap it left and, once every
// term lies in a frame, checks the whole answer. The drop of the mouse, the
// keys and clicks alike.
void DropTerm(MainScreen& screen, int index, int frame);
