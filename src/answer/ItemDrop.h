#pragma once

class Form1;

// Release of a dragged item label: place it, close gaps and, once every
// item lies in a frame, check the whole answer.
void ItemMouseUp(Form1& form, int index, int button, int shift, float x, float y);
