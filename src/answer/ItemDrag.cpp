#include "answer/ItemDrag.h"

#include "forms/Form1.h"

namespace
{
bool isItem(int index)
{
    return index >= 0 && index < Module1::MaxItems;
}
} // namespace

void ItemMouseDown(Form1& form, int index, int /*button*/, int /*shift*/, float x, float y)
{
    Module1& st = form.state;
    if (!isItem(index) || !form.quiz.open()) {
        return;
    }
    form.Label1.at(index).BackColor = Colors::White;
    st.DragStartX = x;
    st.DragStartY = y;
    st.Dragging = 1;
    // The item leaves its frame; the others close up when it is dropped.
    form.quiz.takeBack(index);
}

void ItemMouseMove(Form1& form, int index, int /*button*/, int /*shift*/, float x, float y)
{
    const Module1& st = form.state;
    if (!isItem(index) || st.Dragging != 1) {
        return;
    }
    const float dx = st.DragStartX - x;
    const float dy = st.DragStartY - y;
    Control& label = form.Label1.at(index);
    // Moving by the pointer's offset from the grab point keeps the grabbed
    // point under the pointer; only a changed coordinate is written.
    if (dx != 0.0F) {
        label.Left = label.Left - dx;
    }
    if (dy != 0.0F) {
        label.Top = label.Top - dy;
    }
}
