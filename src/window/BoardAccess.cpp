#include "window/BoardAccess.h"

#include "session/MainScreen.h"
#include "session/TermCarry.h"
#include "session/Words.h"
#include "window/Accessibility.h"
#include "window/MainWindow.h"
#include "window/ViewGeometry.h"

#include <QAccessible>
#include <QPainter>

#include <algorithm>

namespace
{

// The outline around the frame a carried term would be put into. It lies
// over the frames and under every label, so the captions stay readable, and
// lets the mouse through.
class FrameHighlight : public QWidget
{
public:
    explicit FrameHighlight(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        // The blue of the result panel's border, three pixels wide, inside
        // the frame's own two-pixel border.
        QPainter p(this);
        const QColor blue(0, 0, 255);
        const QRect r = rect();
        constexpr int Width = 3;
        constexpr int Inset = 2;
        const QRect inner = r.adjusted(Inset, Inset, -Inset, -Inset);
        p.fillRect(QRect(inner.left(), inner.top(), inner.width(), Width), blue);
        p.fillRect(QRect(inner.left(), inner.bottom() - Width + 1, inner.width(), Width), blue);
        p.fillRect(QRect(inner.left(), inner.top(), Width, inner.height()), blue);
        p.fillRect(QRect(inner.right() - Width + 1, inner.top(), Width, inner.height()), blue);
    }
};

} // namespace

BoardAccess::BoardAccess(MainScreen& form, MainWindow& view)
    : form_(form), view_(view), announcer_(QAccessible::updateAccessibility)
{
}

void BoardAccess::announce(QWidget* widget, int type)
{
    // A screen reader reads out what changed.
    QAccessibleEvent event(widget, static_cast<QAccessible::Event>(type));
    announcer_(&event);
}

void BoardAccess::setName(const Control& control, const QString& name)
{
    // A widget made on first use gets its name then: naming it must not
    // make it before the first frame.
    QWidget* w = view_.madeWidgetOf(control);
    if (w == nullptr) {
        return;
    }
    if (Accessibility::isProgramWidget(w)) {
        if (Accessibility::setName(w, name)) {
            announce(w, QAccessible::NameChanged);
        }
    } else if (w->accessibleName() != name) {
        // Qt's own widgets announce the change themselves.
        w->setAccessibleName(name);
    }
}

void BoardAccess::updateNames()
{
    for (int i = 0; i < static_cast<int>(form_.terms.size()); ++i) {
        const Control& term = form_.terms.at(i);
        setName(term, Words::nameOf(form_, term));
        QWidget* w = view_.madeWidgetOf(term);
        if (w != nullptr && Accessibility::setDescription(w, Words::termDescription(form_, i))) {
            announce(w, QAccessible::DescriptionChanged);
        }
    }
    for (int c = 0; c < static_cast<int>(form_.frames.size()); ++c) {
        setName(form_.captions.at(c), Words::nameOf(form_, form_.captions.at(c)));
        setName(form_.frames.at(c), Words::nameOf(form_, form_.frames.at(c)));
    }
    for (const Control* c :
         {&form_.headingText, &form_.questionText, &form_.resultButtons[ResultButton::ToList],
          &form_.quitButton, &form_.instructionLine, &form_.resultMessage, &form_.resultPanel,
          &form_.explanationPanel, &form_.explanationText, &form_.seriesList,
          &form_.titlePicture}) {
        setName(*c, Words::nameOf(form_, *c));
    }
}

void BoardAccess::updateFocusAndHighlight(bool focusLeaving)
{
    updateHighlight();
    updateTermFocus();
    updateFocus(focusLeaving);
}

void BoardAccess::updateHighlight()
{
    const TermCarry& carry = form_.carry;
    const bool shown = carry.term >= 0 && carry.term < static_cast<int>(form_.terms.size()) &&
                       form_.terms.at(carry.term).Visible && carry.frame >= 0 &&
                       carry.frame < form_.quiz.frames();
    if (!shown) {
        if (highlight_ != nullptr) {
            highlight_->hide();
        }
        return;
    }
    if (highlight_ == nullptr) {
        highlight_ = new FrameHighlight(&view_);
    }
    const Control& frame = form_.frames.at(carry.frame);
    highlight_->setGeometry(ViewGeometry::pixelRect(frame));
    highlight_->setAccessibleName(
        QStringLiteral("移動先の%1").arg(Words::frameName(form_, carry.frame)));
    // Right over the frames, under every label.
    if (QWidget* firstCaption = view_.widgetOf(form_.captions[0])) {
        highlight_->stackUnder(firstCaption);
    }
    highlight_->show();
}

namespace
{

// Whether the control is on the screen once the widgets show the model.
bool willShow(const Control& c)
{
    return c.Shown() && c.Enabled;
}

} // namespace

void BoardAccess::updateTermFocus()
{
    // Terms under the result panel cannot be seen: Tab passes them by.
    const bool panel = form_.resultPanel.Visible;
    const QRect cover = ViewGeometry::pixelRect(form_.resultPanel);
    for (const Control& term : form_.terms) {
        QWidget* w = view_.madeWidgetOf(term);
        if (w == nullptr) {
            continue;
        }
        const bool covered = panel && cover.intersects(ViewGeometry::pixelRect(term));
        w->setFocusPolicy(covered ? Qt::NoFocus : Qt::TabFocus);
    }
}

void BoardAccess::updateFocus(bool focusLeaving)
{
    const Control* request = form_.focusRequest;
    form_.focusRequest = nullptr;
    if (request != nullptr && willShow(*request)) {
        if (QWidget* target = view_.widgetOf(*request)) {
            target->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    // The focused control is leaving (a panel closes, a button hides
    // itself): the focus goes to what the screen now offers first.
    if (!focusLeaving) {
        return;
    }
    std::vector<const Control*> candidates = {&form_.explanationBack};
    for (const Control& b : form_.resultButtons) {
        candidates.push_back(&b);
    }
    candidates.push_back(&form_.seriesList);
    for (const Control& term : form_.terms) {
        candidates.push_back(&term);
    }
    for (const Control* c :
         {&form_.arrows[Arrow::Next], &form_.arrows[Arrow::Previous], &form_.quitButton}) {
        candidates.push_back(c);
    }
    for (const Control* c : candidates) {
        QWidget* w = willShow(*c) ? view_.widgetOf(*c) : nullptr;
        if (w != nullptr && w->focusPolicy() != Qt::NoFocus) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}
