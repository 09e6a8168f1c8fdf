#include "board/Display.h"

#include "answer/SoundCues.h"
#include "forms/Form1.h"

namespace
{

QString padded(const QString& text)
{
    return QLatin1Char(' ') + text + QLatin1Char(' ');
}

void place(Control& c, const Box& b)
{
    c.place(b.left, b.top, b.width, b.height);
}

// The controls around the board follow the window's size.
void placeControls(Form1& form, const BoardLayout& board, qint16 problemNumber)
{
    form.Command3.Top = board.quitTop;
    form.Command1[0].Left = board.nextLeft;
    form.Command1[1].Left = board.previousLeft;
    form.Command3.Left = board.quitLeft;
    form.Label3.Width = board.question.width;
    if (problemNumber == 1) {
        form.Command1[1].Visible = false;
    }
    form.Label5.Top = board.instructionTop;
}

void showTerms(Form1& form, const Problem& problem, const BoardLayout& board)
{
    for (qsizetype i = 0; i < board.terms.size(); ++i) {
        Control& label = form.Label1.at(i);
        const Box& at = board.terms.at(i);
        label.setSizedCaption(padded(problem.terms.at(i)), at.width, at.height);
        label.Left = at.left;
        label.Top = at.top;
    }
    for (int i = 0; i < Module1::MaxItems; ++i) {
        form.Label1.at(i).Visible = i < board.terms.size();
    }
}

void showFrames(Form1& form, const Problem& problem, const BoardLayout& board)
{
    const qsizetype G = board.frames.size();
    for (qsizetype c = 0; c < G; ++c) {
        place(form.Shape1.at(c), board.frames.at(c));
        Control& caption = form.Label2.at(c);
        const Box& at = board.captions.at(c);
        caption.setSizedCaption(padded(problem.groups.at(c)), at.width, at.height);
        caption.Left = at.left;
        caption.Top = at.top;
    }
    for (int c = 0; c < Module1::MaxGroups; ++c) {
        form.Shape1.at(c).Visible = c < G;
        form.Label2.at(c).Visible = c < G;
    }
}

} // namespace

void ClearBoard(Form1& form)
{
    for (Control& item : form.Label1) {
        item.Enabled = true;
        item.Visible = false;
        item.BackColor = Colors::ButtonFace;
    }
    form.Label1[0].Top = 720.0F;
    form.Label1[0].Left = 360.0F;
    for (int i = 0; i < Module1::MaxGroups; ++i) {
        form.Shape1.at(i).Visible = false;
        form.Label2.at(i).Visible = false;
    }
}

void Display(Form1& form, qint16 problemNumber)
{
    if (problemNumber < 0 || problemNumber >= Module1::SeriesRows) {
        return;
    }
    Module1& st = form.state;
    const Problem& problem = st.Problems.at(static_cast<std::size_t>(problemNumber));
    form.board = BoardLayout::of(problem, {form.clientWidth(), form.clientHeight()}, form.measure);
    form.quiz = Quiz(problem, form.quiz.previousRight());
    SoundCues::rewindAll(form.players);

    placeControls(form, form.board, problemNumber);
    ClearBoard(form);
    form.Label6.setCaption(problem.heading);
    form.Label3.setCaption(problem.question);
    form.Label6.Visible = true;
    form.Label3.Visible = true;
    showTerms(form, problem, form.board);
    showFrames(form, problem, form.board);

    form.Command1[0].Visible = true;
    if (problemNumber > 1) {
        form.Command1[1].Visible = true;
    }
}
