#pragma once

#include "answer/ItemKeys.h"
#include "forms/Control.h"
#include "forms/Prompts.h"
#include "layout/BoardLayout.h"
#include "quiz/Quiz.h"
#include "series/MarksFile.h"
#include "state/Module1.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class TextMeasure;
class Players;
class Dialogs;

// The main window as a control model: every control it ever uses, created
// once with its design-time properties, plus the entry point of every event
// the window handles. Form1 routes events; the subsystems decide what they do.
class Form1
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
        u"項目を分類群の枠へマウスでドラッグして移動させて下さい。";

    Form1(Module1& state, const TextMeasure& measure, Players& players, Dialogs& dialogs,
          QString workDir);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    ~Form1() = default;

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
    Control Frame1;
    Control Text1;
    Control Command4;
    std::array<Control, 6> Command2;
    std::array<Control, 2> Command1;
    Control Command3;
    Control Picture1;
    Control List1;
    Control Label4;
    Control Shape2;
    std::array<Control, 6> Label2;
    std::array<Control, 21> Label1;
    Control Label3;
    Control Label6;
    Control Label5;
    std::array<Control, 6> Shape1;

    // Every control, back to front: later ones are drawn over earlier ones.
    std::vector<Control*> stackingOrder();
    // The controls that take the keyboard focus, in tab order.
    std::vector<Control*> tabOrder();

    // Events.
    void Form_Load();
    void List1_DblClick();
    void List1_KeyDown(int keyCode, int shift);
    void Label1_MouseDown(int index, int button, int shift, float x, float y);
    void Label1_MouseMove(int index, int button, int shift, float x, float y);
    void Label1_MouseUp(int index, int button, int shift, float x, float y);
    // Keys on a focused item label; returns whether the key was used.
    bool Label1_KeyDown(int index, int keyCode, int shift);
    void Label1_LostFocus(int index);
    void Command1_Click(int index);
    void Command2_Click(int index);
    void Command3_Click();
    void Command4_Click();
    void Picture1_Click();
    // The window is being closed through its title bar. False when marks
    // could not be saved and the user is asked whether to close anyway: the
    // answer to Question::CloseWithoutMarks then decides.
    bool Form_QueryUnload();
    // The user's answer to a question a handler asked; goes on where that
    // handler stopped. True when the program ends, or the window may close.
    bool answer(Question question, Dialogs::Answer answer);

    // Procedures other handlers share.
    void Display(qint16 problemNumber);
    void ShowSeriesList();

    Module1& state;
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
    // The item picked up with the keyboard, and the control that should take
    // the keyboard focus once the view has shown a handler's effects.
    ItemCarry carry;
    const Control* focusRequest = nullptr;
    // What handlers left to show, in order; the view shows it once a
    // handler has returned and the window shows its effects.
    QList<Prompt> prompts;
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
