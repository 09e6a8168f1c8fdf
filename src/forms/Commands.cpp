#include "forms/Commands.h"

#include "answer/SoundCues.h"
#include "board/Display.h"
#include "forms/Dialogs.h"
#include "forms/Form1.h"
#include "series/MarksFile.h"

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
    SoundCues::play(form.players, SoundCues::MoreCorrect);
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
            st.SeriesTable.at(st.CurrentProblem)[Module1::ColMark] =
                marking ? QStringLiteral("T") : QStringLiteral("F");
        }
    }
}

QString currentExplanation(const Module1& st)
{
    if (st.CurrentProblem < 0 || st.CurrentProblem >= Module1::SeriesRows) {
        return {};
    }
    return st.SeriesTable.at(st.CurrentProblem)[Module1::ColExplanation];
}

} // namespace

void ArrowButtonClick(Form1& form, int index)
{
    Module1& st = form.state;
    SoundCues::rewind(form.players, SoundCues::MoreCorrect);
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
    st.LastCorrectCount = 0;
    hideResultPanel(form);
    appendPendingMark(form);
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
        break;
    default:
        break;
    }
}

void ShowSeriesList(Form1& form)
{
    if (form.state.MarkedMode == 1) {
        RewriteMarksFile(form);
    } else {
        SaveUnsavedMarks(form);
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
        const Dialogs::Answer answer =
            form.dialogs.messageBox(QStringLiteral("終了してもよろしいですか"),
                                    Dialogs::Buttons::OkCancel, Dialogs::Icon::Exclamation);
        if (answer == Dialogs::Answer::Ok) {
            // Marks are written when a series is left; only a mark whose
            // write failed earlier is still to be saved.
            SaveUnsavedMarks(form);
            form.dialogs.endProgram();
        }
        return;
    }
    appendPendingMark(form);
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

void WindowClosing(Form1& form)
{
    // Closing the window saves what leaving the series would save.
    if (!form.List1.Visible) {
        appendPendingMark(form);
        if (form.state.MarkedMode == 1) {
            RewriteMarksFile(form);
            return;
        }
    }
    SaveUnsavedMarks(form);
}
