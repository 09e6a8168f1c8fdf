#include "session/Commands.h"

#include "marks/MarksFile.h"
#include "session/Dialogs.h"
#include "session/MainScreen.h"
#include "session/MarksMessages.h"
#include "session/ShowProblem.h"
#include "session/SoundCues.h"

#include <utility>

namespace
{

const QString MarkIt = QStringLiteral("マークをつける");
const QString Unmark = QStringLiteral("マーク取消");

void appendPendingMark(MainScreen& screen)
{
    if (!screen.state.markedSeries && screen.state.markPending) {
        AppendMarkedProblem(screen);
    }
}

// Leaving an ordinary series is when marks whose write failed earlier are
// tried again. An append writes them along with its own mark, so a failed
// write is tried, and told, once.
void saveMarksOnLeaving(MainScreen& screen)
{
    if (screen.state.markedSeries) {
        return; // leaving rewrites the file, pending marks included
    }
    if (screen.state.markPending) {
        AppendMarkedProblem(screen);
    } else {
        SaveUnsavedMarks(screen);
    }
}

void hideResultPanel(MainScreen& screen)
{
    screen.resultMessage.Visible = false;
    screen.resultPanel.Visible = false;
    for (Control& button : screen.resultButtons) {
        button.Visible = false;
    }
}

void showEndOfSeries(MainScreen& screen)
{
    screen.resultMessage.setCaption(QStringLiteral("このシリーズは終わりです"));
    SoundCues::play(screen.players, SoundCue::MoreCorrect);
    screen.resultPanel.Visible = true;
    screen.arrows[Arrow::Next].Visible = false;
    screen.arrows[Arrow::Previous].Visible = false;
    screen.resultButtons[ResultButton::Next].Visible = false;
    screen.resultButtons[ResultButton::Retry].Visible = true;
    screen.resultButtons[ResultButton::ToList].Visible = true;
    screen.resultButtons[ResultButton::Previous].Visible = true;
    screen.resultMessage.Visible = true;
}

void toggleMark(MainScreen& screen)
{
    SeriesState& st = screen.state;
    Control& mark = screen.resultButtons[ResultButton::Mark];
    const bool marking = screen.markOffered;
    OfferMark(screen, !marking);
    st.markPending = marking;
    if (st.markedSeries) {
        mark.Visible = false;
        if (st.currentProblem >= 0 && st.currentProblem < SeriesState::SeriesRows) {
            st.marked.at(st.currentProblem) = marking;
        }
    }
}

QString currentExplanation(const SeriesState& st)
{
    if (st.currentProblem < 0 || st.currentProblem >= SeriesState::SeriesRows) {
        return {};
    }
    return st.problems.at(st.currentProblem).explanation;
}

} // namespace

void ArrowButtonClick(MainScreen& screen, int index)
{
    SeriesState& st = screen.state;
    SoundCues::rewind(screen.players, SoundCue::MoreCorrect);
    if (index == 1) {
        if (st.currentProblem > 1) {
            st.currentProblem -= 1;
            screen.showProblem(static_cast<qint16>(st.currentProblem));
        }
    } else if (index == 0) {
        if (st.currentProblem < st.problemCount) {
            st.currentProblem += 1;
            screen.showProblem(static_cast<qint16>(st.currentProblem));
        } else {
            showEndOfSeries(screen);
        }
    }
}

void ResultButtonClick(MainScreen& screen, int index)
{
    SeriesState& st = screen.state;
    if (index == 5) {
        toggleMark(screen);
        return;
    }
    if (index < 0 || index > 4) {
        return;
    }
    screen.quiz.forgetChecks();
    hideResultPanel(screen);
    if (index == 2) {
        saveMarksOnLeaving(screen);
    } else {
        appendPendingMark(screen);
    }
    switch (index) {
    case 0:
        if (st.currentProblem < SeriesState::SeriesRows - 1) {
            st.currentProblem += 1;
            screen.showProblem(static_cast<qint16>(st.currentProblem));
        }
        break;
    case 1:
        screen.showProblem(static_cast<qint16>(st.currentProblem));
        break;
    case 2:
        screen.ShowSeriesList();
        break;
    case 3:
        if (st.currentProblem > 1) {
            st.currentProblem -= 1;
            screen.showProblem(static_cast<qint16>(st.currentProblem));
        }
        break;
    case 4:
        screen.explanationText.Text = currentExplanation(st);
        screen.explanationPanel.Visible = true;
        // The text under the keyboard, so that it is read and scrolled.
        screen.focusRequest = &screen.explanationText;
        break;
    default:
        break;
    }
}

void OfferMark(MainScreen& screen, bool mark)
{
    screen.markOffered = mark;
    screen.resultButtons[ResultButton::Mark].setCaption(mark ? MarkIt : Unmark);
}

void ShowSeriesList(MainScreen& screen)
{
    if (screen.state.markedSeries) {
        RewriteMarksFile(screen);
    }
    ClearBoard(screen);
    // The problem left behind takes no answers from the list.
    screen.quiz = Quiz();
    screen.carry = TermCarry{};
    screen.Caption = QString::fromUtf16(MainScreen::DesignCaption);
    screen.seriesList.Visible = true;
    screen.titlePicture.Visible = true;
    screen.arrows[Arrow::Next].Visible = false;
    screen.arrows[Arrow::Previous].Visible = false;
    screen.questionText.Visible = false;
    screen.headingText.Visible = false;
    screen.instructionLine.Visible = true;
    screen.instructionLine.setCaption(QString::fromUtf16(MainScreen::ListPrompt));
    screen.titlePicture.Left = (screen.Width - screen.titlePicture.Width) / 2.0F;
    screen.seriesList.Left = (screen.Width - screen.seriesList.Width) / 2.0F;
    Recording::showOnList(screen);
}

void QuitButtonClick(MainScreen& screen)
{
    if (screen.screen() == Screen::SeriesList) {
        screen.ask(Question::Quit, QStringLiteral("終了してもよろしいですか"),
                   Dialogs::Icon::Exclamation);
        return;
    }
    saveMarksOnLeaving(screen);
    hideResultPanel(screen);
    // The explanation panel is never left over the series list.
    screen.explanationPanel.Visible = false;
    screen.ShowSeriesList();
}

void ExplanationBackClick(MainScreen& screen)
{
    const SeriesState& st = screen.state;
    screen.explanationPanel.Visible = false;
    screen.resultPanel.Visible = true;
    if (st.currentProblem < st.problemCount) {
        screen.resultButtons[ResultButton::Next].Visible = true;
    }
    screen.resultButtons[ResultButton::Retry].Visible = true;
    screen.resultButtons[ResultButton::ToList].Visible = true;
    screen.resultButtons[ResultButton::Explanation].Visible = true;
    if (st.currentProblem > 1) {
        screen.resultButtons[ResultButton::Previous].Visible = true;
    }
    OfferMark(screen, !st.markedSeries);
    screen.resultButtons[ResultButton::Mark].Visible = true;
    screen.resultMessage.Visible = true;
}

bool WindowClosing(MainScreen& screen)
{
    // Closing the window saves what leaving the series would save, in one
    // write: a mark still pending on screen goes with those whose write
    // failed earlier.
    SeriesState& st = screen.state;
    const bool onProblem = screen.screen() != Screen::SeriesList;
    const bool appending = onProblem && !st.markedSeries && st.markPending &&
                           st.currentProblem >= 0 && st.currentProblem < SeriesState::SeriesRows;
    const qsizetype pendingBefore = screen.marks.pendingCount();
    Recording::saveBeforeEnd(screen);
    MarksWrite last;
    if (appending) {
        last = MarksFile::appendMark(screen.marks, st, st.currentProblem);
    } else if (onProblem && st.markedSeries) {
        last = screen.marks.rewrite(st);
    } else {
        last = screen.marks.savePending();
    }
    if (MarksMessages::mayEnd(screen, last, Question::CloseWithoutMarks)) {
        return true;
    }
    screen.stayTakesMarkBack = appending && screen.marks.pendingCount() > pendingBefore;
    return false;
}

bool AnswerQuestion(MainScreen& screen, Question question, Dialogs::Answer answer)
{
    const bool ok = answer == Dialogs::Answer::Ok;
    switch (question) {
    case Question::Quit:
        // Marks are written when a series is left; only a mark whose write
        // failed earlier is still to be saved, and the user decides whether
        // to end without it. Answers are written or told of as on closing.
        if (ok) {
            Recording::saveBeforeEnd(screen);
        }
        if (!ok ||
            !MarksMessages::mayEnd(screen, screen.marks.savePending(), Question::EndWithoutMarks)) {
            return false;
        }
        break;
    case Question::EndWithoutMarks:
        if (!ok) {
            return false;
        }
        break;
    case Question::CloseWithoutMarks:
        if (const bool takeBack = std::exchange(screen.stayTakesMarkBack, false); !ok && takeBack) {
            // Staying: the mark on screen is pending on its problem again,
            // so that the mark button still takes it back.
            screen.marks.takeBackLast();
            screen.state.markPending = true;
        }
        // The view closes the window itself.
        return ok;
    }
    // What is told on ending is shown before the window goes.
    for (const Prompt& p : std::exchange(screen.prompts, {})) {
        if (p.kind == Prompt::Kind::Message) {
            screen.dialogs.messageBox(p.text, p.buttons, p.icon);
        }
    }
    screen.dialogs.endProgram();
    return true;
}
