#include "answer/ItemDrag.h"

#include "forms/Form1.h"

#include <algorithm>

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
    if (!isItem(index) || st.AnswerOpen != 1) {
        return;
    }
    form.Label1.at(index).BackColor = Colors::White;
    st.DragStartX = x;
    st.DragStartY = y;
    st.Dragging = 1;
    // The item leaves its frame; the gap is closed when it is dropped.
    const int code = index + 1;
    const int frames = std::clamp(st.GroupCount, 0, Module1::MaxGroups);
    for (int c = 0; c < frames; ++c) {
        auto& slots = st.PlacementTable.at(c);
        for (int k = 0; k <= Module1::LastSlot; ++k) {
            if (slots.at(k) == code) {
                slots.at(k) = 0;
                break;
            }
        }
    }
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
