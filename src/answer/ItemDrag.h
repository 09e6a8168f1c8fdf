#pragma once

class Form1;

// Press on an item label: picks the item up.
void ItemMouseDown(Form1& form, int index, int button, int shift, float x, float y);
// Move over the pressed item label: the label follows the pointer.
void ItemMouseMove(Form1& form, int index, int button, int shift, float x, float y);
