#pragma once

#include "layout/BoardLayout.h"
#include "marks/MarksFile.h"
#include "quiz/Quiz.h"
#include "record/ProblemIndex.h"
#include "series/SeriesState.h"
#include "session/Assigned.h"
#include "session/Control.h"
#include "session/Outcome.h"
#include "session/Prompts.h"
#include "session/Recording.h"
#include "session/SessionValue.h"
#include "session/TermCarry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class TextMeasure;
class Players;
class Dialogs;
class AnswerStore;

// The result panel's buttons and the arrows, by what they do.
struct ResultButton {
    enum : std::size_t { Next, Retry, ToList, Previous, Explanation, Mark };
};
struct Arrow {
    enum : std::size_t { Next, Previous };
};

// The screen of a learner's session, as a model of the main window: every
// control it ever uses, created once with its design-time properties, and
// the state the handlers share. The session (Session) owns it and runs its
// handlers for the learner's verbs. Its state, as a value, makes the same
// screen again.
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
               QString workDir, MarksPort& marks);
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
    std::array<Control, SeriesState::MaxFrames> captions;
    std::array<Control, SeriesState::MaxTerms> terms;
    Control questionText;
    Control headingText;
    Control instructionLine;
    std::array<Control, SeriesState::MaxFrames> frames;
    // On the series list, while a record is kept: whose, and the button
    // that opens it.
    Control learnerLine;
    Control progressButton;

    Screen screen() const;

    // Every control, back to front: later ones are drawn over earlier ones.
    std::vector<Control*> stackingOrder();
    // The controls that take the keyboard focus, in tab order.
    std::vector<Control*> tabOrder();

    // The screen as a value, and made again from one on the same folder:
    // false, with the learner told why and the series list shown, when its
    // series is gone or has changed.
    SessionValue value() const;
    bool restore(const SessionValue& value);

    // Procedures other handlers share.
    void showProblem(qint16 problemNumber);
    void ShowSeriesList();

    SeriesState& state;
    const TextMeasure& measure;
    NotingPlayers players;
    Dialogs& dialogs;
    const QString workDir;
    // Series files the catalogue lists that this learner's list leaves off.
    QStringList hiddenSeries;
    // Series the learner's class is given a 期限 for: first on the list.
    QList<DueSeries> dueSeries;
    MarksPort& marks;
    // The problem on the board: where its parts lie, and its answer so far.
    BoardLayout board;
    Quiz quiz;
    // Whether the mark button offers to mark the problem (else to take its
    // mark back): what pressing it does.
    bool markOffered = true;
    // The term picked up, and the control that should take the keyboard
    // focus once the view has shown a handler's effects.
    TermCarry carry;
    const Control* focusRequest = nullptr;
    // What handlers left to show, in order; the view shows it once a
    // handler has returned and the window shows its effects.
    QList<Prompt> prompts;
    // The learner's record, when one is kept: the program keeps one, a
    // board preview does not.
    AnswerStore* record = nullptr;
    // Answers checked but not yet stored: each is tried again with the next.
    QList<Answer> unsavedAnswers;
    // The series files' problems by their text, for the record.
    ProblemIndex problemIndex;
    Showing showing;
    // Today's review as listed, and its list entry (-1: none).
    QList<ReviewProblem> review;
    int reviewEntry = -1;
    // Closing the window waits for an answer: staying then puts the mark
    // on screen back on its problem.
    bool stayTakesMarkBack = false;
    // Where the open series came from, for the session's value.
    SessionValue::Source source = SessionValue::Source::None;
    int openedEntry = -1;
    QString openedTextHash;
    QList<SessionValue::ProblemRef> openedRows;
    // The text of problems 1..problemCount, hashed: what a value is checked
    // against when the session is made again.
    QString textHashOfRows() const;
    // A question asked and not yet answered.
    std::optional<Prompt> openQuestion;
    // What the verb under way changed beyond the controls.
    Outcome changes;

    // A series saved while it is open: the problems of the file as it is
    // now, each mark going with its problem, and the row where the problem
    // of `row` is now (else `row`, within the new count). The text in hand
    // stays when the file is gone or cannot be read.
    int followSavedSeries(int row);
    // A message for the program's own message box.
    void tell(const QString& message);
    // A question with OK and Cancel; no handler runs after it until it is
    // answered.
    void ask(Question question, const QString& text, Dialogs::Icon icon);
    QString pathOf(const QString& bareName) const;

private:
    bool restoreSeries(const SessionValue& v);
    QList<Problem> rowsShown() const;
    // The keys of rowsShown(), hashed again only when what a row asks
    // changed: value() is taken at every move of a board.
    QStringList keysShown() const;
    mutable QList<Problem> keyedRows_;
    mutable QStringList keys_;
    int followKeys(const SessionValue& v);
    bool continueSavedSeries(const SessionValue& v);
    void continueAt(const SessionValue& v, int row);
    void restoreBoard(const SessionValue& v);

    // The controls with their design-time properties, part by part.
    void createControls();
    void createExplanationPanel();
    void createButtons();
    void createSeriesListPage();
    void createResultPanel();
    void createGroups();
    void createTerms();
    void createTexts();
    void setTabIndices();
};
