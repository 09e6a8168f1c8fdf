#include "answer/ItemDrop.h"

#include "answer/SoundCues.h"
#include "forms/Form1.h"

#include <algorithm>

namespace
{

Box boxOf(const Control& c)
{
    return {c.Left, c.Top, c.Width, c.Height};
}

void showSolved(Form1& form)
{
    Module1& st = form.state;
    form.Command1[0].Visible = false;
    form.Command1[1].Visible = false;
    SoundCues::play(form.players, SoundCue::Correct);
    if (st.CurrentProblem < st.ProblemCount) {
        form.Label4.setCaption(QStringLiteral("正解です。次の問題へ進みますか？"));
        form.Command2[0].Visible = true;
    } else {
        form.Label4.setCaption(QStringLiteral("正解です。このシリーズは終わりです"));
        form.Command2[0].Visible = false;
    }
    form.Shape2.Visible = true;
    form.Command2[1].Visible = true;
    form.Command2[2].Visible = true;
    form.Command2[5].setCaption(st.MarkedMode == 1 ? QStringLiteral("マーク取消")
                                                   : QStringLiteral("マークをつける"));
    form.Command2[5].Visible = true;
    const int current = std::clamp(st.CurrentProblem, 0, Module1::SeriesRows - 1);
    if (!st.Problems.at(current).explanation.isEmpty()) {
        form.Command2[4].Visible = true;
    }
    if (st.CurrentProblem > 1) {
        form.Command2[3].Visible = true;
    }
    form.Label4.Visible = true;
}

// Every item lies in a frame: right ones take their frame's colour, and a
// sound says how the answer went.
void checkAnswer(Form1& form)
{
    const Quiz::Check result = form.quiz.check();
    for (int i = 0; i < form.quiz.terms(); ++i) {
        if (result.isRight.at(i)) {
            form.Label1.at(i).BackColor = Colors::GroupCaptions.at(form.quiz.frameOf(i));
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

void DropItem(Form1& form, int index, int frame)
{
    const BoardLayout& board = form.board;
    Control& label = form.Label1.at(index);
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
            form.Label1.at(terms.at(k)).Top = board.slot(c, static_cast<int>(k), 0.0F).top;
        }
    }
    if (form.quiz.allPlaced()) {
        checkAnswer(form);
    }
}

void ItemMouseUp(Form1& form, int index, int /*button*/, int /*shift*/, float /*x*/, float /*y*/)
{
    Module1& st = form.state;
    if (index < 0 || index >= Module1::MaxItems || !form.quiz.open()) {
        return;
    }
    // Only the release that ends a drag places the item: with two buttons
    // held, the second release would place it a second time.
    if (st.Dragging != 1) {
        return;
    }
    SoundCues::rewindAll(form.players);
    st.Dragging = 0;
    Control& label = form.Label1.at(index);
    const Box kept = form.board.keptOnBoard(boxOf(label));
    label.Left = kept.left;
    label.Top = kept.top;
    DropItem(form, index, form.board.frameAt(kept));
}
