#include "session/TermDrag.h"

#include "session/MainScreen.h"

namespace
{
// A term of the problem on the board.
bool isTerm(const MainScreen& screen, int index)
{
    return index >= 0 && index < screen.quiz.terms();
}
} // namespace

void TermMouseDown(MainScreen& screen, int index, float x, float y)
{
    SeriesState& st = screen.state;
    if (!isTerm(screen, index) || !screen.quiz.open()) {
        return;
    }
    screen.terms.at(index).BackColor = Colors::White;
    st.dragStartX = x;
    st.dragStartY = y;
    st.dragging = true;
    // The term leaves its frame; the others close up when it is dropped.
    screen.quiz.takeBack(index);
}

void TermMouseMove(MainScreen& screen, int index, float x, float y)
{
    const SeriesState& st = screen.state;
    if (!isTerm(screen, index) || !st.dragging) {
        return;
    }
    const float dx = st.dragStartX - x;
    const float dy = st.dragStartY - y;
    Control& label = screen.terms.at(index);
    // Moving by the pointer's offset from the grab point keeps the grabbed
    // point under the pointer; only a changed coordinate is written.
    if (dx != 0.0F) {
        label.Left = label.Left - dx;
    }
    if (dy != 0.0F) {
        label.Top = label.Top - dy;
    }
}
