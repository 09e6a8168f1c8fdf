#pragma once

class MainScreen;

// Press on an item label: picks the item up.
void ItemMouseDown(MainScreen& screen, int index, float x, float y);
// Move over the pressed item label: the label follows the pointer.
void ItemMouseMove(MainScreen& screen, int index, float x, float y);
