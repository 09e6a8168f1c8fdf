#include "window/TermInput.h"

#include "session/Session.h"
#include "window/MainWindow.h"
#include "window/ViewColors.h"
#include "window/ViewGeometry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <optional>
#include <utility>

namespace
{

float toTwips(qreal pixels)
{
    return static_cast<float>(pixels) * Control::TwipsPerPixel;
}

std::optional<Direction> directionOf(int key)
{
    switch (key) {
    case Qt::Key_Left:
        return Direction::Left;
    case Qt::Key_Right:
        return Direction::Right;
    case Qt::Key_Up:
        return Direction::Up;
    case Qt::Key_Down:
        return Direction::Down;
    default:
        return std::nullopt;
    }
}

} // namespace

TermInput::TermInput(Session& session, MainWindow& view, Run run)
    : session_(session), view_(view), run_(std::move(run))
{
}

const Control& TermInput::label(int term) const
{
    return session_.screen().terms.at(term);
}

void TermInput::termMouse(int term, LabelWidget::MouseAction action, QMouseEvent* event)
{
    switch (action) {
    case LabelWidget::MouseAction::Press:
        press(term, event);
        break;
    case LabelWidget::MouseAction::Move:
        move(term, event);
        break;
    case LabelWidget::MouseAction::Release:
        release(term);
        break;
    }
}

void TermInput::press(int term, QMouseEvent* event)
{
    if (dragging()) {
        // A second button during a drag is no new press, and makes no click.
        drag_.click = false;
        return;
    }
    if (session_.refusalToMove(term)) {
        return;
    }
    const int carried = session_.carried();
    if (carried >= 0) {
        run_([this] { session_.putBack(); });
    }
    const Control& c = label(term);
    drag_ = {term,
             event->globalPosition(),
             c.Left,
             c.Top,
             c.Left,
             c.Top,
             event->buttons() == event->button(),
             carried == term};
    // Any button lifts the term: white while it is carried about.
    if (auto* widget = static_cast<LabelWidget*>(view_.widgetOf(c))) {
        const auto [back, fore] =
            ViewColors::labelColors(Colors::White, c.ForeColor, view_.palette());
        widget->setColors(back, fore);
    }
}

void TermInput::move(int term, QMouseEvent* event)
{
    if (drag_.term != term) {
        return;
    }
    const QPointF moved = event->globalPosition() - drag_.pressedAt;
    if (drag_.click) {
        // A hand that shakes a little on a click moves nothing.
        if (moved.manhattanLength() < QApplication::startDragDistance()) {
            return;
        }
        drag_.click = false;
    }
    // The grabbed point stays under the pointer, wherever it goes.
    drag_.left = drag_.startLeft + toTwips(moved.x());
    drag_.top = drag_.startTop + toTwips(moved.y());
    if (QWidget* widget = view_.widgetOf(label(term))) {
        widget->move(ViewGeometry::toPixels(drag_.left), ViewGeometry::toPixels(drag_.top));
    }
}

void TermInput::release(int term)
{
    // The drag ends at the first release: a later one, or a move after it,
    // does nothing.
    if (drag_.term != term) {
        return;
    }
    const Drag drag = std::exchange(drag_, Drag{});
    // The label shows the session's term again, wherever the verb leaves it.
    view_.reapply(label(term));
    run_([this, &drag, term] {
        if (!drag.click) {
            session_.putAt(term, drag.left, drag.top);
        } else if (!drag.carried) {
            session_.pickUp(term);
        }
    });
}

void TermInput::boardMouse(LabelWidget::MouseAction action, QMouseEvent* event, QPoint at)
{
    if (action == LabelWidget::MouseAction::Press) {
        boardPress_ = event->buttons() == event->button() ? frameAt(at) : NoBoardPress;
        return;
    }
    if (action != LabelWidget::MouseAction::Release || event->buttons() != Qt::NoButton) {
        return;
    }
    // A click is a press and release on the same frame, or both outside.
    const int frame = std::exchange(boardPress_, NoBoardPress);
    if (frame == NoBoardPress || frame != frameAt(at)) {
        return;
    }
    run_([this, frame] {
        const int carried = session_.carried();
        if (frame < 0) {
            session_.putBack();
        } else if (carried >= 0) {
            session_.putIn(carried, frame);
        }
    });
}

int TermInput::frameAt(QPoint at) const
{
    const MainScreen& s = session_.screen();
    for (int c = 0; c < s.quiz.frames(); ++c) {
        const Control& frame = s.frames.at(c);
        if (frame.Visible && (ViewGeometry::pixelRect(frame).contains(at) ||
                              ViewGeometry::pixelRect(s.captions.at(c)).contains(at))) {
            return c;
        }
    }
    return -1;
}

bool TermInput::termKey(int term, QKeyEvent* event)
{
    const Qt::KeyboardModifiers held =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (dragging() || held != Qt::NoModifier || session_.refusalToMove(term)) {
        return false;
    }
    const int key = event->key();
    const bool mine = session_.carried() == term;
    const std::optional<Direction> way = directionOf(key);
    const bool digit = key >= Qt::Key_1 && key < Qt::Key_1 + SeriesState::MaxFrames;
    const bool pickOrPut = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool escape = key == Qt::Key_Escape;
    if (!(key >= Qt::Key_1 && key <= Qt::Key_9) && !pickOrPut && !escape && !way) {
        return false;
    }
    run_([&] {
        // A term picked up elsewhere is put back first, whatever the key.
        if (session_.carried() >= 0 && !mine) {
            session_.putBack();
        }
        if (digit) {
            // A frame beyond those on the board is refused: the key is
            // still taken.
            session_.putIn(term, key - Qt::Key_1);
        } else if (pickOrPut && mine) {
            session_.putDown();
        } else if (pickOrPut) {
            session_.pickUp(term);
        } else if (mine && escape) {
            session_.putBack();
        } else if (mine && way) {
            session_.carry(*way);
        }
    });
    return digit || pickOrPut || (mine && (escape || way));
}

void TermInput::termFocusLost(int term)
{
    if (session_.carried() == term) {
        run_([this] { session_.putBack(); });
    }
}
