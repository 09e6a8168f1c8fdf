#include "session/TermDrop.h"

#include "session/Commands.h"
#include "session/MainScreen.h"
#include "session/SoundCues.h"

#include <algorithm>

namespace
{

void showSolved(MainScreen& screen)
{
    SeriesState& st = screen.state;
    screen.arrows[Arrow::Next].Visible = false;
    screen.arrows[Arrow::Previous].Visible = false;
    SoundCues::play(screen.players, SoundCue::Correct);
    if (st.currentProblem < st.problemCount) {
        screen.resultMessage.setCaption(QStringLiteral("正解です。次の問題へ進みますか？"));
        screen.resultButtons[ResultButton::Next].Visible = true;
    } else {
        screen.resultMessage.setCaption(QStringLiteral("正解です。このシリーズは終わりです"));
        screen.resultButtons[ResultButton::Next].Visible = false;
    }
    screen.resultPanel.Visible = true;
    screen.resultButtons[ResultButton::Retry].Visible = true;
    screen.resultButtons[ResultButton::ToList].Visible = true;
    OfferMark(screen, !st.markedSeries);
    screen.resultButtons[ResultButton::Mark].Visible = true;
    const int current = std::clamp(st.currentProblem, 0, SeriesState::SeriesRows - 1);
    if (!st.problems.at(current).explanation.isEmpty()) {
        screen.resultButtons[ResultButton::Explanation].Visible = true;
    }
    if (st.currentProblem > 1) {
        screen.resultButtons[ResultButton::Previous].Visible = true;
    }
    screen.resultMessage.Visible = true;
}

// Every term lies in a frame: right ones take their frame's colour, and a
// sound says how the answer went.
void checkAnswer(MainScreen& screen)
{
    const Quiz::Check result = screen.quiz.check();
    Recording::recordCheck(screen, result);
    for (int i = 0; i < screen.quiz.terms(); ++i) {
        if (result.isRight.at(i)) {
            screen.terms.at(i).BackColor = Colors::GroupCaptions.at(screen.quiz.frameOf(i));
        }
    }
    switch (result.outcome) {
    case Quiz::Outcome::Solved:
        showSolved(screen);
        break;
    case Quiz::Outcome::Wrong:
        SoundCues::play(screen.players, SoundCue::Wrong);
        break;
    case Quiz::Outcome::MoreRight:
        SoundCues::play(screen.players, SoundCue::MoreCorrect);
        break;
    case Quiz::Outcome::SameRight:
    case Quiz::Outcome::FewerRight:
        SoundCues::play(screen.players, SoundCue::NotMoreCorrect);
        break;
    }
}

} // namespace

void DropTerm(MainScreen& screen, int index, int frame)
{
    const BoardLayout& board = screen.board;
    Control& label = screen.terms.at(index);
    if (frame >= 0) {
        const int slot = screen.quiz.slotFor(index, frame);
        const Box at = board.slot(frame, slot, label.Width);
        label.Left = at.left;
        label.Top = at.top;
        if (board.fits(frame, slot)) {
            screen.quiz.place(index, frame);
        } else {
            // No room left in the frame: the term waits above the frames.
            label.Top = board.parkTop();
        }
    }
    label.BackColor = Colors::ButtonFace;
    // The terms of every frame close up under its caption.
    for (int c = 0; c < screen.quiz.frames(); ++c) {
        const QList<int>& terms = screen.quiz.termsIn(c);
        for (qsizetype k = 0; k < terms.size(); ++k) {
            screen.terms.at(terms.at(k)).Top = board.slot(c, static_cast<int>(k), 0.0F).top;
        }
    }
    if (screen.quiz.allPlaced()) {
        checkAnswer(screen);
    }
}

void DropTermAt(MainScreen& screen, int index, float left, float top)
{
    SoundCues::rewindAll(screen.players);
    // The term leaves its frame; the others close up once it has landed.
    screen.quiz.takeBack(index);
    Control& label = screen.terms.at(index);
    const Box kept = screen.board.keptOnBoard({left, top, label.Width, label.Height});
    label.Left = kept.left;
    label.Top = kept.top;
    DropTerm(screen, index, screen.board.frameAt(kept));
}
