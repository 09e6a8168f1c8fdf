#pragma once

class MainScreen;

// Release of a dragged item label: the frame under its centre takes it.
void ItemMouseUp(MainScreen& screen, int index);
// Puts item `index`, already taken out of its frame, into `frame` (-1 for
// none: it stays where it lies), closes the gap it left and, once every
// item lies in a frame, checks the whole answer. The drop of the mouse, the
// keys and clicks alike.
void DropItem(MainScreen& screen, int index, int frame);
