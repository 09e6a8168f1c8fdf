#pragma once

#include "session/ItemClick.h"
#include "session/ItemKeys.h"
#include "session/Control.h"
#include "session/Prompts.h"
#include "session/Recording.h"
#include "layout/BoardLayout.h"
#include "quiz/Quiz.h"
#include "marks/MarksFile.h"
#include "record/ProblemIndex.h"
#include "series/SeriesState.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class TextMeasure;
class Players;
class Dialogs;
class LearnerRecord;

// The main window as a control model: every control it ever uses, created
// once with its design-time properties, plus the entry point of every event
// the window handles. MainScreen routes events; the subsystems decide what they do.
// The result panel's buttons and the arrows, by what they do.
struct ResultButton {
    enum : std::size_t { Next, Retry, ToList, Previous, Explanation, Mark };
};
struct Arrow {
    enum : std::size_t { Next, Previous };
};
// What the main screen shows: the series list, a problem being answered,
// the result panel over a solved problem or the end of a series, or the
// explanation.
enum class Screen { SeriesList, Problem, Result, Explanation };

class MainScreen
{
public:
    // The window frame around the client area: 4-pixel borders and a
    // 19-pixel title bar, so the outer size never depends on the window
    // manager.
    static constexpr float FrameWidth = 120.0F;
    static constexpr float FrameHeight = 405.0F;
    static constexpr float DesignClientWidth = 9330.0F;
    static constexpr float DesignClientHeight = 6870.0F;

    static constexpr const char16_t* DesignCaption = u"用語分類問題集 Velmorant";
    static constexpr const char16_t* ListPrompt =
        u"今から行う問題をリストの中から選んでダブルクリックして下さい";
    static constexpr const char16_t* DragPrompt =
        u"項目を分類群の枠へドラッグするか、項目と枠を順にクリックして下さい。";

    MainScreen(SeriesState& state, const TextMeasure& measure, Players& players, Dialogs& dialogs,
          QString workDir);
    MainScreen(const MainScreen&) = delete;
    MainScreen& operator=(const MainScreen&) = delete;
    ~MainScreen() = default;

    // The window itself.
    QString Caption;
    float Width;  // outer width in twips
    float Height; // outer height in twips
    quint32 BackColor;
    FontInfo Font;

    float clientWidth() const { return Width - FrameWidth; }
    float clientHeight() const { return Height - FrameHeight; }
    // The view reports the real client size; the next layout uses it.
    void setClientSize(float widthTwips, float heightTwips);

    // Controls, named and indexed as the window names them.
    Control explanationPanel;
    Control explanationText;
    Control explanationBack;
    std::array<Control, 6> resultButtons;
    std::array<Control, 2> arrows;
    Control quitButton;
    Control titlePicture;
    Control seriesList;
    Control resultMessage;
    Control resultPanel;
    std::array<Control, 6> captions;
    std::array<Control, 21> terms;
    Control questionText;
    Control headingText;
    Control instructionLine;
    std::array<Control, 6> frames;
    // On the series list, while a record is kept: whose, and the button
    // that opens it.
    Control learnerLine;
    Control progressButton;

    Screen screen() const;

    // Every control, back to front: later ones are drawn over earlier ones.
    std::vector<Control*> stackingOrder();
    // The controls that take the keyboard focus, in tab order.
    std::vector<Control*> tabOrder();

    // Events.
    void load();
    void seriesListDoubleClicked();
    void seriesListKeyDown(int keyCode, int shift);
    void termMouseDown(int index, int button, int shift, float x, float y);
    void termMouseMove(int index, int button, int shift, float x, float y);
    void termMouseUp(int index, int button, int shift, float x, float y);
    // A press on an item label released before the pointer moved.
    void termClicked(int index);
    // A click on a frame or its caption, and on the board outside them.
    void frameClicked(int index);
    void boardClicked();
    // Keys on a focused item label; returns whether the key was used.
    bool termKeyDown(int index, int keyCode, int shift);
    void termLostFocus(int index);
    void arrowClicked(int index);
    void resultButtonClicked(int index);
    void quitClicked();
    void explanationBackClicked();
    void titlePictureClicked();
    void progressButtonClicked();
    // The window is being closed through its title bar. False when marks
    // could not be saved and the user is asked whether to close anyway: the
    // answer to Question::CloseWithoutMarks then decides.
    bool closeRequested();
    // The user's answer to a question a handler asked; goes on where that
    // handler stopped. True when the program ends, or the window may close.
    bool answer(Question question, Dialogs::Answer answer);

    // Procedures other handlers share.
    void showProblem(qint16 problemNumber);
    void ShowSeriesList();

    SeriesState& state;
    const TextMeasure& measure;
    Players& players;
    Dialogs& dialogs;
    const QString workDir;
    // The marks file of the working folder, with marks whose write failed:
    // every later write tries them again, so a mark is never lost to a full
    // disk.
    MarksStore marks;
    // The problem on the board: where its parts lie, and its answer so far.
    BoardLayout board;
    Quiz quiz;
    // Whether the mark button offers to mark the problem (else to take its
    // mark back): what pressing it does.
    bool markOffered = true;
    // The item picked up with the keyboard, and the control that should take
    // the keyboard focus once the view has shown a handler's effects.
    ItemCarry carry;
    // What the last press on an item changed, until it is known to be a click.
    ItemPress press;
    const Control* focusRequest = nullptr;
    // What handlers left to show, in order; the view shows it once a
    // handler has returned and the window shows its effects.
    QList<Prompt> prompts;
    // The learner's record, when one is kept: the program keeps one, a
    // board preview does not.
    LearnerRecord* record = nullptr;
    // The series files' problems by their text, for the record.
    ProblemIndex problemIndex;
    Showing showing;
    // Today's review as listed, and its list entry (-1: none).
    QList<ReviewProblem> review;
    int reviewEntry = -1;
    // Closing the window waits for an answer: staying then puts the mark
    // on screen back on its problem.
    bool stayTakesMarkBack = false;

    // A message for the program's own message box.
    void tell(const QString& message);
    // A question with OK and Cancel; no handler runs after it until it is
    // answered.
    void ask(Question question, const QString& text, Dialogs::Icon icon);
    QString pathOf(const QString& bareName) const;

private:
    // The controls with their design-time properties, part by part.
    void createControls();
    void createExplanationPanel();
    void createButtons();
    void createSeriesListPage();
    void createResultPanel();
    void createGroups();
    void createItems();
    void createTexts();
    void setTabIndices();
};
