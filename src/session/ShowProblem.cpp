#include "session/ShowProblem.h"

#include "session/MainScreen.h"
#include "session/SoundCues.h"

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
void placeControls(MainScreen& screen, const BoardLayout& board, qint16 problemNumber)
{
    screen.quitButton.Top = board.quitTop;
    screen.arrows[Arrow::Next].Left = board.nextLeft;
    screen.arrows[Arrow::Previous].Left = board.previousLeft;
    screen.quitButton.Left = board.quitLeft;
    screen.questionText.Width = board.question.width;
    if (problemNumber == 1) {
        screen.arrows[Arrow::Previous].Visible = false;
    }
    screen.instructionLine.Top = board.instructionTop;
}

void showTerms(MainScreen& screen, const Problem& problem, const BoardLayout& board)
{
    for (qsizetype i = 0; i < board.terms.size(); ++i) {
        Control& label = screen.terms.at(i);
        const Box& at = board.terms.at(i);
        label.setSizedCaption(padded(problem.terms.at(i)), at.width, at.height);
        label.Left = at.left;
        label.Top = at.top;
    }
    for (int i = 0; i < SeriesState::MaxTerms; ++i) {
        screen.terms.at(i).Visible = i < board.terms.size();
    }
}

void showFrames(MainScreen& screen, const Problem& problem, const BoardLayout& board)
{
    const qsizetype G = board.frames.size();
    for (qsizetype c = 0; c < G; ++c) {
        place(screen.frames.at(c), board.frames.at(c));
        Control& caption = screen.captions.at(c);
        const Box& at = board.captions.at(c);
        caption.setSizedCaption(padded(problem.groups.at(c)), at.width, at.height);
        caption.Left = at.left;
        caption.Top = at.top;
    }
    for (int c = 0; c < SeriesState::MaxFrames; ++c) {
        screen.frames.at(c).Visible = c < G;
        screen.captions.at(c).Visible = c < G;
    }
}

} // namespace

void ClearBoard(MainScreen& screen)
{
    for (Control& term : screen.terms) {
        term.Enabled = true;
        term.Visible = false;
        term.BackColor = Colors::ButtonFace;
    }
    screen.terms[0].Top = 720.0F;
    screen.terms[0].Left = 360.0F;
    for (int i = 0; i < SeriesState::MaxFrames; ++i) {
        screen.frames.at(i).Visible = false;
        screen.captions.at(i).Visible = false;
    }
}

void ShowProblem(MainScreen& screen, qint16 problemNumber)
{
    if (problemNumber < 0 || problemNumber >= SeriesState::SeriesRows) {
        return;
    }
    SeriesState& st = screen.state;
    const Problem& problem = st.problems.at(static_cast<std::size_t>(problemNumber));
    screen.board =
        BoardLayout::of(problem, {screen.clientWidth(), screen.clientHeight()}, screen.measure);
    screen.quiz = Quiz(problem, screen.quiz.previousRight());
    SoundCues::rewindAll(screen.players);

    placeControls(screen, screen.board, problemNumber);
    ClearBoard(screen);
    screen.headingText.setCaption(problem.heading);
    screen.questionText.setCaption(problem.question);
    screen.headingText.Visible = true;
    screen.questionText.Visible = true;
    showTerms(screen, problem, screen.board);
    showFrames(screen, problem, screen.board);

    screen.arrows[Arrow::Next].Visible = true;
    if (problemNumber > 1) {
        screen.arrows[Arrow::Previous].Visible = true;
    }
}
