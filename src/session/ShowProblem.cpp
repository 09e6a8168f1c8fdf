#include "session/ShowProblem.h"

#include "session/SoundCues.h"
#include "session/MainScreen.h"

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
void placeControls(MainScreen& form, const BoardLayout& board, qint16 problemNumber)
{
    form.quitButton.Top = board.quitTop;
    form.arrows[Arrow::Next].Left = board.nextLeft;
    form.arrows[Arrow::Previous].Left = board.previousLeft;
    form.quitButton.Left = board.quitLeft;
    form.questionText.Width = board.question.width;
    if (problemNumber == 1) {
        form.arrows[Arrow::Previous].Visible = false;
    }
    form.instructionLine.Top = board.instructionTop;
}

void showTerms(MainScreen& form, const Problem& problem, const BoardLayout& board)
{
    for (qsizetype i = 0; i < board.terms.size(); ++i) {
        Control& label = form.terms.at(i);
        const Box& at = board.terms.at(i);
        label.setSizedCaption(padded(problem.terms.at(i)), at.width, at.height);
        label.Left = at.left;
        label.Top = at.top;
    }
    for (int i = 0; i < SeriesState::MaxItems; ++i) {
        form.terms.at(i).Visible = i < board.terms.size();
    }
}

void showFrames(MainScreen& form, const Problem& problem, const BoardLayout& board)
{
    const qsizetype G = board.frames.size();
    for (qsizetype c = 0; c < G; ++c) {
        place(form.frames.at(c), board.frames.at(c));
        Control& caption = form.captions.at(c);
        const Box& at = board.captions.at(c);
        caption.setSizedCaption(padded(problem.groups.at(c)), at.width, at.height);
        caption.Left = at.left;
        caption.Top = at.top;
    }
    for (int c = 0; c < SeriesState::MaxGroups; ++c) {
        form.frames.at(c).Visible = c < G;
        form.captions.at(c).Visible = c < G;
    }
}

} // namespace

void ClearBoard(MainScreen& form)
{
    for (Control& item : form.terms) {
        item.Enabled = true;
        item.Visible = false;
        item.BackColor = Colors::ButtonFace;
    }
    form.terms[0].Top = 720.0F;
    form.terms[0].Left = 360.0F;
    for (int i = 0; i < SeriesState::MaxGroups; ++i) {
        form.frames.at(i).Visible = false;
        form.captions.at(i).Visible = false;
    }
}

void ShowProblem(MainScreen& form, qint16 problemNumber)
{
    if (problemNumber < 0 || problemNumber >= SeriesState::SeriesRows) {
        return;
    }
    SeriesState& st = form.state;
    const Problem& problem = st.problems.at(static_cast<std::size_t>(problemNumber));
    form.board = BoardLayout::of(problem, {form.clientWidth(), form.clientHeight()}, form.measure);
    form.quiz = Quiz(problem, form.quiz.previousRight());
    SoundCues::rewindAll(form.players);

    placeControls(form, form.board, problemNumber);
    ClearBoard(form);
    form.headingText.setCaption(problem.heading);
    form.questionText.setCaption(problem.question);
    form.headingText.Visible = true;
    form.questionText.Visible = true;
    showTerms(form, problem, form.board);
    showFrames(form, problem, form.board);

    form.arrows[Arrow::Next].Visible = true;
    if (problemNumber > 1) {
        form.arrows[Arrow::Previous].Visible = true;
    }
}
