#include "forms/Form1.h"

#include "answer/ItemDrag.h"
#include "answer/ItemDrop.h"
#include "answer/ItemKeys.h"
#include "board/Display.h"
#include "files/FileLookup.h"
#include "forms/Commands.h"
#include "forms/Dialogs.h"
#include "forms/OpenSelectedSeries.h"
#include "forms/StartUp.h"

#include <QDir>

#include <algorithm>

#include <utility>

namespace
{

FontInfo gothic(double points, bool bold = false)
{
    return {QString::fromUtf16(FontInfo::Gothic), points, bold};
}

FontInfo pgothic(double points, bool bold = false)
{
    return {QString::fromUtf16(FontInfo::PGothic), points, bold};
}

const quint32 FormBack = Colors::rgb(192, 255, 255);
const quint32 PanelGrey = Colors::rgb(224, 224, 224);
const quint32 Blue = Colors::rgb(0, 0, 255);

// A frame's look; its caption takes Colors::GroupCaptions.
struct GroupLook {
    quint32 fill;
    bool filled; // cppcheck-suppress unusedStructMember
    quint32 border;
};

const std::array<GroupLook, 6> GroupLooks = {{
    {Colors::rgb(255, 255, 192), true, Colors::rgb(128, 128, 0)},
    {Colors::rgb(192, 255, 192), true, Colors::rgb(0, 64, 0)},
    {Colors::rgb(255, 192, 255), true, Colors::rgb(128, 0, 128)},
    {0, false, Colors::rgb(0, 128, 128)},
    {Colors::rgb(255, 255, 192), true, Colors::rgb(128, 64, 0)},
    {Colors::rgb(224, 224, 255), true, Colors::rgb(128, 0, 128)},
}};

void makeButton(Control& b, const QString& name, int index, const QString& caption, float left,
                float top, float width, float height, bool visible, const FontInfo& font)
{
    b = Control(ControlKind::Button, name, index);
    b.place(left, top, width, height);
    b.setCaption(caption);
    b.Visible = visible;
    b.Font = font;
}

} // namespace

Form1::Form1(Module1& state_, const TextMeasure& measure_, Players& players_, Dialogs& dialogs_,
             QString workDir_)
    : Caption(QString::fromUtf16(DesignCaption)), Width(DesignClientWidth + FrameWidth),
      Height(DesignClientHeight + FrameHeight), BackColor(FormBack), Font(gothic(11.25)),
      state(state_), measure(measure_), players(players_), dialogs(dialogs_),
      workDir(std::move(workDir_)), marks(workDir)
{
    createControls();
}

void Form1::setClientSize(float widthTwips, float heightTwips)
{
    Width = widthTwips + FrameWidth;
    Height = heightTwips + FrameHeight;
}

void Form1::createControls()
{
    createExplanationPanel();
    createButtons();
    createSeriesListPage();
    createResultPanel();
    createGroups();
    createItems();
    createTexts();
    setTabIndices();
}

void Form1::createExplanationPanel()
{
    Frame1 = Control(ControlKind::Frame, QStringLiteral("Frame1"));
    Frame1.place(180, 660, 8355, 1275);
    Frame1.setCaption(QStringLiteral("解説"));
    Frame1.Visible = false;
    Frame1.Font = gothic(11.25, true);
    Frame1.BackColor = Colors::White;
    Frame1.ForeColor = Blue;

    Text1 = Control(ControlKind::TextBox, QStringLiteral("Text1"));
    Text1.place(240, 240, 7155, 915);
    Text1.Font = Font;
    Text1.BackColor = Colors::White;
    Text1.MultiLine = true;
    Text1.VerticalScrollBar = true;
    Text1.Container = &Frame1;

    makeButton(Command4, QStringLiteral("Command4"), -1, QStringLiteral("戻る"), 7560, 840, 675,
               315, true, gothic(9.75, true));
    Command4.Container = &Frame1;
}

void Form1::createButtons()
{
    const QString c2 = QStringLiteral("Command2");
    makeButton(Command2[0], c2, 0, QStringLiteral("次の問題へ"), 1380, 1380, 1095, 375, true,
               pgothic(9));
    makeButton(Command2[1], c2, 1, QStringLiteral("この問題をもう一度"), 3900, 1380, 1755, 375,
               true, pgothic(9.75));
    makeButton(Command2[2], c2, 2, QStringLiteral("終了"), 7080, 1380, 675, 375, true, pgothic(9));
    makeButton(Command2[3], c2, 3, QStringLiteral("前の問題へ"), 2640, 1380, 1095, 375, false,
               pgothic(9));
    makeButton(Command2[4], c2, 4, QStringLiteral("解説"), 5820, 1380, 915, 375, false, pgothic(9));
    makeButton(Command2[5], c2, 5, QStringLiteral("マークをつける"), 6360, 900, 1395, 375, false,
               pgothic(9));

    const QString c1 = QStringLiteral("Command1");
    makeButton(Command1[0], c1, 0, QStringLiteral("次へ"), 8100, 180, 555, 375, false,
               pgothic(9, true));
    makeButton(Command1[1], c1, 1, QStringLiteral("戻る"), 7500, 180, 555, 375, false,
               pgothic(9, true));
    makeButton(Command3, QStringLiteral("Command3"), -1, QStringLiteral("終了"), 7740, 6000, 855,
               315, true, gothic(11.25, true));
}

void Form1::createSeriesListPage()
{
    // The picture box is sized to its 324 x 119 picture plus a 2-pixel 3-D
    // border on each side.
    Picture1 = Control(ControlKind::PictureBox, QStringLiteral("Picture1"));
    Picture1.place(1860, 780, 4920, 1845);

    List1 = Control(ControlKind::ListBox, QStringLiteral("List1"));
    List1.place(2100, 2820, 4395, 2310);
    List1.Font = Font;
    List1.BackColor = Colors::White;
}

void Form1::createResultPanel()
{
    Label4 = Control(ControlKind::Label, QStringLiteral("Label4"));
    Label4.place(1560, 960, 5175, 375);
    Label4.Visible = false;
    Label4.Font = gothic(12, true);
    Label4.BackColor = PanelGrey;
    Label4.ForeColor = Colors::Black;

    Shape2 = Control(ControlKind::Shape, QStringLiteral("Shape2"));
    Shape2.place(1080, 780, 6915, 1095);
    Shape2.FillColor = PanelGrey;
    Shape2.BorderColor = Blue;
    Shape2.BorderWidthPx = 3;
}

void Form1::createGroups()
{
    // The placeholder captions of the board are not measured: start-up hides
    // them before the first paint and Display measures every caption it
    // shows. Measuring them would load a font the first frame does not use.
    for (int i = 0; i < 6; ++i) {
        Control& cap = Label2.at(i);
        cap = Control(ControlKind::Label, QStringLiteral("Label2"), i);
        cap.Font = gothic(12, true);
        cap.BorderSingle = true;
        cap.AutoSize = true;
        cap.BackColor = Colors::GroupCaptions.at(i);
        cap.ForeColor = Colors::Black;
        cap.Left = 360.0F + 1500.0F * static_cast<float>(i);
        cap.Top = 1830;
        cap.setCaption(QStringLiteral(" 分類群%1 ").arg(i + 1));
        cap.setMeasure(&measure);
        cap.Visible = false;

        Control& frame = Shape1.at(i);
        frame = Control(ControlKind::Shape, QStringLiteral("Shape1"), i);
        frame.place(240.0F + 1500.0F * static_cast<float>(i), 1950, 1215, 2805);
        frame.Filled = GroupLooks.at(i).filled;
        frame.FillColor = GroupLooks.at(i).fill;
        frame.BorderColor = GroupLooks.at(i).border;
        frame.BorderWidthPx = 2;
        frame.Visible = i >= 2;
    }
}

void Form1::createItems()
{
    for (int i = 0; i < 21; ++i) {
        Control& item = Label1.at(i);
        item = Control(ControlKind::Label, QStringLiteral("Label1"), i);
        item.Font = pgothic(11.25);
        item.BorderSingle = true;
        item.AutoSize = true;
        item.BackColor = Colors::ButtonFace;
        item.ForeColor = Colors::Black;
        // Three rows of seven until the first problem places them.
        const int row = i / 7;
        const int column = i % 7;
        item.Left = 360.0F + 1200.0F * static_cast<float>(column);
        item.Top = 720.0F + 360.0F * static_cast<float>(row);
        item.setCaption(QStringLiteral(" 項目%1 ").arg(i + 1));
        item.setMeasure(&measure);
    }
}

// The question, the problem number and the prompt under the board.
void Form1::createTexts()
{
    Label3 = Control(ControlKind::Label, QStringLiteral("Label3"));
    Label3.place(1080, 120, 6255, 615);
    Label3.Visible = false;
    Label3.Font = Font;
    Label3.BackColor = FormBack;
    Label3.ForeColor = Colors::Black;

    Label6 = Control(ControlKind::Label, QStringLiteral("Label6"));
    Label6.place(120, 120, 975, 435);
    Label6.Visible = false;
    Label6.Font = pgothic(9.75, true);
    Label6.BackColor = FormBack;
    Label6.ForeColor = Colors::Black;

    Label5 = Control(ControlKind::Label, QStringLiteral("Label5"));
    Label5.place(120, 6000, 8355, 255);
    Label5.Font = Font;
    Label5.BackColor = FormBack;
    Label5.ForeColor = Colors::Black;
    Label5.setCaption(QString::fromUtf16(DragPrompt));
}

void Form1::setTabIndices()
{
    int tab = 0;
    for (Control* c :
         {&Command1[0], &List1, &Command2[0], &Command2[1], &Command2[2], &Picture1, &Command3,
          &Command2[3], &Command1[1], &Command2[4], &Command4, &Command2[5]}) {
        c->TabIndex = tab++;
    }
}

std::vector<Control*> Form1::stackingOrder()
{
    // Frames lie behind every label. The item labels come after the other
    // board labels, so a dragged item passes in front of captions and the
    // question text; the result box and its message cover them all.
    std::vector<Control*> order;
    for (Control& c : Shape1) {
        order.push_back(&c);
    }
    for (Control& c : Label2) {
        order.push_back(&c);
    }
    for (Control* c : {&Label3, &Label6, &Label5}) {
        order.push_back(c);
    }
    for (Control& c : Label1) {
        order.push_back(&c);
    }
    for (Control* c : {&Shape2, &Label4, &Picture1, &List1, &Frame1, &Text1, &Command4}) {
        order.push_back(c);
    }
    for (Control& c : Command2) {
        order.push_back(&c);
    }
    for (Control& c : Command1) {
        order.push_back(&c);
    }
    order.push_back(&Command3);
    return order;
}

std::vector<Control*> Form1::tabOrder()
{
    std::vector<Control*> order;
    for (Control* c : stackingOrder()) {
        if (c->TabIndex >= 0) {
            order.push_back(c);
        }
    }
    std::sort(order.begin(), order.end(),
              [](const Control* a, const Control* b) { return a->TabIndex < b->TabIndex; });
    return order;
}

void Form1::Form_Load()
{
    RunStartUp(*this);
}

void Form1::List1_DblClick()
{
    OpenSelectedSeries(*this);
}

void Form1::List1_KeyDown(int keyCode, int /*shift*/)
{
    constexpr int Enter = 13;
    if (keyCode == Enter) {
        OpenSelectedSeries(*this);
    }
}

void Form1::Label1_MouseDown(int index, int button, int shift, float x, float y)
{
    ItemCarryCancel(*this);
    ItemMouseDown(*this, index, button, shift, x, y);
}

void Form1::Label1_MouseMove(int index, int button, int shift, float x, float y)
{
    ItemMouseMove(*this, index, button, shift, x, y);
}

void Form1::Label1_MouseUp(int index, int button, int shift, float x, float y)
{
    const bool open = quiz.open();
    ItemMouseUp(*this, index, button, shift, x, y);
    if (open && !quiz.open()) {
        focusRequest = FocusAfterDrop(*this, index, false);
    }
}

bool Form1::Label1_KeyDown(int index, int keyCode, int shift)
{
    return ItemKeyDown(*this, index, keyCode, shift);
}

void Form1::Label1_LostFocus(int index)
{
    if (carry.item == index) {
        ItemCarryCancel(*this);
    }
}

void Form1::Command1_Click(int index)
{
    ArrowButtonClick(*this, index);
}

void Form1::Command2_Click(int index)
{
    ResultButtonClick(*this, index);
}

void Form1::Command3_Click()
{
    QuitButtonClick(*this);
}

void Form1::Command4_Click()
{
    ExplanationBackClick(*this);
}

void Form1::Picture1_Click()
{
    Prompt about;
    about.kind = Prompt::Kind::About;
    prompts.append(about);
}

bool Form1::Form_QueryUnload()
{
    return WindowClosing(*this);
}

bool Form1::answer(Question question, Dialogs::Answer answer)
{
    return AnswerQuestion(*this, question, answer);
}

void Form1::Display(qint16 problemNumber)
{
    carry = ItemCarry{};
    ::Display(*this, problemNumber);
    // A new problem starts with its first item under the keyboard.
    if (quiz.terms() > 0) {
        focusRequest = &Label1[0];
    }
}

void Form1::ShowSeriesList()
{
    ::ShowSeriesList(*this);
}

void Form1::tell(const QString& message)
{
    Prompt told;
    told.text = message;
    prompts.append(told);
}

void Form1::ask(Question question, const QString& text, Dialogs::Icon icon)
{
    prompts.append({Prompt::Kind::Question, text, Dialogs::Buttons::OkCancel, icon, question});
}

QString Form1::pathOf(const QString& bareName) const
{
    // Names written on Windows: any letter case, '\' between folders.
    return FileLookup::resolve(workDir, bareName);
}
