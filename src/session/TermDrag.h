#pragma once

class MainScreen;

// Press on a term label: picks the term up.
void TermMouseDown(MainScreen& screen, int index, float x, float y);
// Move over the pressed term label: the label follows the pointer.
void TermMouseMove(MainScreen& screen, int index, float x, float y);
