#include "session/ItemDrop.h"

#include "session/SoundCues.h"
#include "session/MainScreen.h"

#include <algorithm>

namespace
{

Box boxOf(const Control& c)
{
    return {c.Left, c.Top, c.Width, c.Height};
}

void showSolved(MainScreen& form)
{
    SeriesState& st = form.state;
    form.arrows[Arrow::Next].Visible = false;
    form.arrows[Arrow::Previous].Visible = false;
    SoundCues::play(form.players, SoundCue::Correct);
    if (st.currentProblem < st.problemCount) {
        form.resultMessage.setCaption(QStringLiteral("正解です。次の問題へ進みますか？"));
        form.resultButtons[ResultButton::Next].Visible = true;
    } else {
        form.resultMessage.setCaption(QStringLiteral("正解です。このシリーズは終わりです"));
        form.resultButtons[ResultButton::Next].Visible = false;
    }
    form.resultPanel.Visible = true;
    form.resultButtons[ResultButton::Retry].Visible = true;
    form.resultButtons[ResultButton::ToList].Visible = true;
    form.resultButtons[ResultButton::Mark].setCaption(st.markedSeries ? QStringLiteral("マーク取消")
                                                   : QStringLiteral("マークをつける"));
    form.resultButtons[ResultButton::Mark].Visible = true;
    const int current = std::clamp(st.currentProblem, 0, SeriesState::SeriesRows - 1);
    if (!st.problems.at(current).explanation.isEmpty()) {
        form.resultButtons[ResultButton::Explanation].Visible = true;
    }
    if (st.currentProblem > 1) {
        form.resultButtons[ResultButton::Previous].Visible = true;
    }
    form.resultMessage.Visible = true;
}

// Every item lies in a frame: right ones take their frame's colour, and a
// sound says how the answer went.
void checkAnswer(MainScreen& form)
{
    const Quiz::Check result = form.quiz.check();
    for (int i = 0; i < form.quiz.terms(); ++i) {
        if (result.isRight.at(i)) {
            form.terms.at(i).BackColor = Colors::GroupCaptions.at(form.quiz.frameOf(i));
        }
    }
    switch (result.outcome) {
    case Quiz::Outcome::Solved:
        showSolved(form);
        break;
    case Quiz::Outcome::Wrong:
        SoundCues::play(form.players, SoundCue::Wrong);
        break;
    case Quiz::Outcome::MoreRight:
        SoundCues::play(form.players, SoundCue::MoreCorrect);
        break;
    case Quiz::Outcome::SameRight:
    case Quiz::Outcome::FewerRight:
        SoundCues::play(form.players, SoundCue::NotMoreCorrect);
        break;
    }
}

} // namespace

void DropItem(MainScreen& form, int index, int frame)
{
    const BoardLayout& board = form.board;
    Control& label = form.terms.at(index);
    if (frame >= 0) {
        const int slot = form.quiz.slotFor(index, frame);
        const Box at = board.slot(frame, slot, label.Width);
        label.Left = at.left;
        label.Top = at.top;
        if (board.fits(frame, slot)) {
            form.quiz.place(index, frame);
        } else {
            // No room left in the frame: the item waits above the frames.
            label.Top = board.parkTop();
        }
    }
    label.BackColor = Colors::ButtonFace;
    // The items of every frame close up under its caption.
    for (int c = 0; c < form.quiz.frames(); ++c) {
        const QList<int>& terms = form.quiz.termsIn(c);
        for (qsizetype k = 0; k < terms.size(); ++k) {
            form.terms.at(terms.at(k)).Top = board.slot(c, static_cast<int>(k), 0.0F).top;
        }
    }
    if (form.quiz.allPlaced()) {
        checkAnswer(form);
    }
}

void ItemMouseUp(MainScreen& form, int index, int /*button*/, int /*shift*/, float /*x*/, float /*y*/)
{
    SeriesState& st = form.state;
    if (index < 0 || index >= SeriesState::MaxItems || !form.quiz.open()) {
        return;
    }
    // Only the release that ends a drag places the item: with two buttons
    // held, the second release would place it a second time.
    if (!st.dragging) {
        return;
    }
    SoundCues::rewindAll(form.players);
    st.dragging = false;
    Control& label = form.terms.at(index);
    const Box kept = form.board.keptOnBoard(boxOf(label));
    label.Left = kept.left;
    label.Top = kept.top;
    DropItem(form, index, form.board.frameAt(kept));
}
