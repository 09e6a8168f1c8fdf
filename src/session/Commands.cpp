#include "session/Commands.h"

#include "session/SoundCues.h"
#include "session/ShowProblem.h"
#include "session/Dialogs.h"
#include "session/MainScreen.h"
#include "session/MarksMessages.h"
#include "marks/MarksFile.h"

#include <utility>

namespace
{

const QString MarkIt = QStringLiteral("マークをつける");
const QString Unmark = QStringLiteral("マーク取消");

void appendPendingMark(MainScreen& form)
{
    if (!form.state.markedSeries && form.state.markPending) {
        AppendMarkedProblem(form);
    }
}

// Leaving an ordinary series is when marks whose write failed earlier are
// tried again. An append writes them along with its own mark, so a failed
// write is tried, and told, once.
void saveMarksOnLeaving(MainScreen& form)
{
    if (form.state.markedSeries) {
        return; // leaving rewrites the file, pending marks included
    }
    if (form.state.markPending) {
        AppendMarkedProblem(form);
    } else {
        SaveUnsavedMarks(form);
    }
}

void hideResultPanel(MainScreen& form)
{
    form.resultMessage.Visible = false;
    form.resultPanel.Visible = false;
    for (Control& button : form.resultButtons) {
        button.Visible = false;
    }
}

void showEndOfSeries(MainScreen& form)
{
    form.resultMessage.setCaption(QStringLiteral("このシリーズは終わりです"));
    SoundCues::play(form.players, SoundCue::MoreCorrect);
    form.resultPanel.Visible = true;
    form.arrows[Arrow::Next].Visible = false;
    form.arrows[Arrow::Previous].Visible = false;
    form.resultButtons[ResultButton::Next].Visible = false;
    form.resultButtons[ResultButton::Retry].Visible = true;
    form.resultButtons[ResultButton::ToList].Visible = true;
    form.resultButtons[ResultButton::Previous].Visible = true;
    form.resultMessage.Visible = true;
}

void toggleMark(MainScreen& form)
{
    SeriesState& st = form.state;
    Control& mark = form.resultButtons[ResultButton::Mark];
    const bool marking = mark.Caption() == MarkIt;
    mark.setCaption(marking ? Unmark : MarkIt);
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

void ArrowButtonClick(MainScreen& form, int index)
{
    SeriesState& st = form.state;
    SoundCues::rewind(form.players, SoundCue::MoreCorrect);
    if (form.screen() == Screen::SeriesList) {
        form.arrows[Arrow::Next].Visible = false;
        form.arrows[Arrow::Previous].Visible = false;
        return;
    }
    if (index == 1) {
        if (st.currentProblem > 1) {
            st.currentProblem -= 1;
            form.showProblem(static_cast<qint16>(st.currentProblem));
        }
    } else if (index == 0) {
        if (st.currentProblem < st.problemCount) {
            st.currentProblem += 1;
            form.showProblem(static_cast<qint16>(st.currentProblem));
        } else {
            showEndOfSeries(form);
        }
    }
}

void ResultButtonClick(MainScreen& form, int index)
{
    SeriesState& st = form.state;
    if (index == 5) {
        toggleMark(form);
        return;
    }
    if (index < 0 || index > 4) {
        return;
    }
    form.quiz.forgetChecks();
    hideResultPanel(form);
    if (index == 2) {
        saveMarksOnLeaving(form);
    } else {
        appendPendingMark(form);
    }
    switch (index) {
    case 0:
        if (st.currentProblem < SeriesState::SeriesRows - 1) {
            st.currentProblem += 1;
            form.showProblem(static_cast<qint16>(st.currentProblem));
        }
        break;
    case 1:
        form.showProblem(static_cast<qint16>(st.currentProblem));
        break;
    case 2:
        form.ShowSeriesList();
        break;
    case 3:
        if (st.currentProblem > 1) {
            st.currentProblem -= 1;
            form.showProblem(static_cast<qint16>(st.currentProblem));
        }
        break;
    case 4:
        form.explanationText.Text = currentExplanation(st);
        form.explanationPanel.Visible = true;
        // The text under the keyboard, so that it is read and scrolled.
        form.focusRequest = &form.explanationText;
        break;
    default:
        break;
    }
}

void ShowSeriesList(MainScreen& form)
{
    if (form.state.markedSeries) {
        RewriteMarksFile(form);
    }
    ClearBoard(form);
    form.Caption = QString::fromUtf16(MainScreen::DesignCaption);
    form.seriesList.Visible = true;
    form.titlePicture.Visible = true;
    form.arrows[Arrow::Next].Visible = false;
    form.arrows[Arrow::Previous].Visible = false;
    form.questionText.Visible = false;
    form.headingText.Visible = false;
    form.instructionLine.Visible = true;
    form.instructionLine.setCaption(QString::fromUtf16(MainScreen::ListPrompt));
    form.titlePicture.Left = (form.Width - form.titlePicture.Width) / 2.0F;
    form.seriesList.Left = (form.Width - form.seriesList.Width) / 2.0F;
}

void QuitButtonClick(MainScreen& form)
{
    if (form.screen() == Screen::SeriesList) {
        form.ask(Question::Quit, QStringLiteral("終了してもよろしいですか"),
                 Dialogs::Icon::Exclamation);
        return;
    }
    saveMarksOnLeaving(form);
    hideResultPanel(form);
    // The explanation panel is never left over the series list.
    form.explanationPanel.Visible = false;
    form.ShowSeriesList();
}

void ExplanationBackClick(MainScreen& form)
{
    const SeriesState& st = form.state;
    form.explanationPanel.Visible = false;
    form.resultPanel.Visible = true;
    if (st.currentProblem < st.problemCount) {
        form.resultButtons[ResultButton::Next].Visible = true;
    }
    form.resultButtons[ResultButton::Retry].Visible = true;
    form.resultButtons[ResultButton::ToList].Visible = true;
    form.resultButtons[ResultButton::Explanation].Visible = true;
    if (st.currentProblem > 1) {
        form.resultButtons[ResultButton::Previous].Visible = true;
    }
    form.resultButtons[ResultButton::Mark].setCaption(st.markedSeries ? Unmark : MarkIt);
    form.resultButtons[ResultButton::Mark].Visible = true;
    form.resultMessage.Visible = true;
}

bool WindowClosing(MainScreen& form)
{
    // Closing the window saves what leaving the series would save, in one
    // write: a mark still pending on screen goes with those whose write
    // failed earlier.
    SeriesState& st = form.state;
    const bool onProblem = form.screen() != Screen::SeriesList;
    const bool appending = onProblem && !st.markedSeries && st.markPending &&
                           st.currentProblem >= 0 && st.currentProblem < SeriesState::SeriesRows;
    const qsizetype pendingBefore = form.marks.pending().size();
    MarksWrite last;
    if (appending) {
        last = MarksFile::appendMark(form.marks, st, st.currentProblem);
    } else if (onProblem && st.markedSeries) {
        last = form.marks.rewrite(st);
    } else {
        last = form.marks.savePending();
    }
    if (MarksMessages::mayEnd(form, last, Question::CloseWithoutMarks)) {
        return true;
    }
    form.stayTakesMarkBack = appending && form.marks.pending().size() > pendingBefore;
    return false;
}

bool AnswerQuestion(MainScreen& form, Question question, Dialogs::Answer answer)
{
    const bool ok = answer == Dialogs::Answer::Ok;
    switch (question) {
    case Question::Quit:
        // Marks are written when a series is left; only a mark whose write
        // failed earlier is still to be saved, and the user decides whether
        // to end without it.
        if (!ok ||
            !MarksMessages::mayEnd(form, form.marks.savePending(), Question::EndWithoutMarks)) {
            return false;
        }
        break;
    case Question::EndWithoutMarks:
        if (!ok) {
            return false;
        }
        break;
    case Question::CloseWithoutMarks:
        if (const bool takeBack = std::exchange(form.stayTakesMarkBack, false); !ok && takeBack) {
            // Staying: the mark on screen is pending on its problem again,
            // so that the mark button still takes it back.
            form.marks.takeBackLast();
            form.state.markPending = true;
        }
        // The view closes the window itself.
        return ok;
    }
    form.dialogs.endProgram();
    return true;
}
