#include "forms/Commands.h"

#include "answer/SoundCues.h"
#include "board/Display.h"
#include "forms/Dialogs.h"
#include "forms/Form1.h"
#include "forms/MarksMessages.h"
#include "series/MarksFile.h"

#include <utility>

namespace
{

const QString MarkIt = QStringLiteral("マークをつける");
const QString Unmark = QStringLiteral("マーク取消");

void appendPendingMark(Form1& form)
{
    if (form.state.MarkedMode == 0 && form.state.MarkPending == 1) {
        AppendMarkedProblem(form);
    }
}

// Leaving an ordinary series is when marks whose write failed earlier are
// tried again. An append writes them along with its own mark, so a failed
// write is tried, and told, once.
void saveMarksOnLeaving(Form1& form)
{
    if (form.state.MarkedMode == 1) {
        return; // leaving rewrites the file, pending marks included
    }
    if (form.state.MarkPending == 1) {
        AppendMarkedProblem(form);
    } else {
        SaveUnsavedMarks(form);
    }
}

void hideResultPanel(Form1& form)
{
    form.Label4.Visible = false;
    form.Shape2.Visible = false;
    for (Control& button : form.Command2) {
        button.Visible = false;
    }
}

void showEndOfSeries(Form1& form)
{
    form.Label4.setCaption(QStringLiteral("このシリーズは終わりです"));
    SoundCues::play(form.players, SoundCue::MoreCorrect);
    form.Shape2.Visible = true;
    form.Command1[0].Visible = false;
    form.Command1[1].Visible = false;
    form.Command2[0].Visible = false;
    form.Command2[1].Visible = true;
    form.Command2[2].Visible = true;
    form.Command2[3].Visible = true;
    form.Label4.Visible = true;
}

void toggleMark(Form1& form)
{
    Module1& st = form.state;
    Control& mark = form.Command2[5];
    const bool marking = mark.Caption() == MarkIt;
    mark.setCaption(marking ? Unmark : MarkIt);
    st.MarkPending = marking ? 1 : 0;
    if (st.MarkedMode == 1) {
        mark.Visible = false;
        if (st.CurrentProblem >= 0 && st.CurrentProblem < Module1::SeriesRows) {
            st.Marked.at(st.CurrentProblem) = marking;
        }
    }
}

QString currentExplanation(const Module1& st)
{
    if (st.CurrentProblem < 0 || st.CurrentProblem >= Module1::SeriesRows) {
        return {};
    }
    return st.Problems.at(st.CurrentProblem).explanation;
}

} // namespace

void ArrowButtonClick(Form1& form, int index)
{
    Module1& st = form.state;
    SoundCues::rewind(form.players, SoundCue::MoreCorrect);
    if (form.List1.Visible) {
        form.Command1[0].Visible = false;
        form.Command1[1].Visible = false;
        return;
    }
    if (index == 1) {
        if (st.CurrentProblem > 1) {
            st.CurrentProblem -= 1;
            form.Display(static_cast<qint16>(st.CurrentProblem));
        }
    } else if (index == 0) {
        if (st.CurrentProblem < st.ProblemCount) {
            st.CurrentProblem += 1;
            form.Display(static_cast<qint16>(st.CurrentProblem));
        } else {
            showEndOfSeries(form);
        }
    }
}

void ResultButtonClick(Form1& form, int index)
{
    Module1& st = form.state;
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
        if (st.CurrentProblem < Module1::SeriesRows - 1) {
            st.CurrentProblem += 1;
            form.Display(static_cast<qint16>(st.CurrentProblem));
        }
        break;
    case 1:
        form.Display(static_cast<qint16>(st.CurrentProblem));
        break;
    case 2:
        form.ShowSeriesList();
        break;
    case 3:
        if (st.CurrentProblem > 1) {
            st.CurrentProblem -= 1;
            form.Display(static_cast<qint16>(st.CurrentProblem));
        }
        break;
    case 4:
        form.Text1.Text = currentExplanation(st);
        form.Frame1.Visible = true;
        // The text under the keyboard, so that it is read and scrolled.
        form.focusRequest = &form.Text1;
        break;
    default:
        break;
    }
}

void ShowSeriesList(Form1& form)
{
    if (form.state.MarkedMode == 1) {
        RewriteMarksFile(form);
    }
    ClearBoard(form);
    form.Caption = QString::fromUtf16(Form1::DesignCaption);
    form.List1.Visible = true;
    form.Picture1.Visible = true;
    form.Command1[0].Visible = false;
    form.Command1[1].Visible = false;
    form.Label3.Visible = false;
    form.Label6.Visible = false;
    form.Label5.Visible = true;
    form.Label5.setCaption(QString::fromUtf16(Form1::ListPrompt));
    form.Picture1.Left = (form.Width - form.Picture1.Width) / 2.0F;
    form.List1.Left = (form.Width - form.List1.Width) / 2.0F;
}

void QuitButtonClick(Form1& form)
{
    if (form.List1.Visible) {
        form.ask(Question::Quit, QStringLiteral("終了してもよろしいですか"),
                 Dialogs::Icon::Exclamation);
        return;
    }
    saveMarksOnLeaving(form);
    hideResultPanel(form);
    // The explanation panel is never left over the series list.
    form.Frame1.Visible = false;
    form.ShowSeriesList();
}

void ExplanationBackClick(Form1& form)
{
    const Module1& st = form.state;
    form.Frame1.Visible = false;
    form.Shape2.Visible = true;
    if (st.CurrentProblem < st.ProblemCount) {
        form.Command2[0].Visible = true;
    }
    form.Command2[1].Visible = true;
    form.Command2[2].Visible = true;
    form.Command2[4].Visible = true;
    if (st.CurrentProblem > 1) {
        form.Command2[3].Visible = true;
    }
    form.Command2[5].setCaption(st.MarkedMode == 1 ? Unmark : MarkIt);
    form.Command2[5].Visible = true;
    form.Label4.Visible = true;
}

bool WindowClosing(Form1& form)
{
    // Closing the window saves what leaving the series would save, in one
    // write: a mark still pending on screen goes with those whose write
    // failed earlier.
    Module1& st = form.state;
    const bool onProblem = !form.List1.Visible;
    const bool appending = onProblem && st.MarkedMode == 0 && st.MarkPending == 1 &&
                           st.CurrentProblem >= 0 && st.CurrentProblem < Module1::SeriesRows;
    const qsizetype pendingBefore = form.marks.pending().size();
    MarksWrite last;
    if (appending) {
        last = MarksFile::appendMark(form.marks, st, st.CurrentProblem);
    } else if (onProblem && st.MarkedMode == 1) {
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

bool AnswerQuestion(Form1& form, Question question, Dialogs::Answer answer)
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
            form.state.MarkPending = 1;
        }
        // The view closes the window itself.
        return ok;
    }
    form.dialogs.endProgram();
    return true;
}
