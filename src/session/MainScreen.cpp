#include "session/MainScreen.h"

#include "files/FileLookup.h"
#include "session/Commands.h"
#include "session/Dialogs.h"
#include "session/ShowProblem.h"

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

MainScreen::MainScreen(SeriesState& state_, const TextMeasure& measure_, Players& players_,
                       Dialogs& dialogs_, QString workDir_, MarksPort& marks_)
    : Caption(QString::fromUtf16(DesignCaption)), Width(DesignClientWidth + FrameWidth),
      Height(DesignClientHeight + FrameHeight), BackColor(FormBack), Font(gothic(11.25)),
      state(state_), measure(measure_), players(players_), dialogs(dialogs_),
      workDir(std::move(workDir_)), marks(marks_), problemIndex(workDir)
{
    createControls();
}

void MainScreen::setClientSize(float widthTwips, float heightTwips)
{
    Width = widthTwips + FrameWidth;
    Height = heightTwips + FrameHeight;
}

void MainScreen::createControls()
{
    createExplanationPanel();
    createButtons();
    createSeriesListPage();
    createResultPanel();
    createGroups();
    createTerms();
    createTexts();
    setTabIndices();
}

void MainScreen::createExplanationPanel()
{
    explanationPanel = Control(ControlKind::Frame, QStringLiteral("explanationPanel"));
    explanationPanel.place(180, 660, 8355, 1275);
    explanationPanel.setCaption(QStringLiteral("解説"));
    explanationPanel.Visible = false;
    explanationPanel.Font = gothic(11.25, true);
    explanationPanel.BackColor = Colors::White;
    explanationPanel.ForeColor = Blue;

    explanationText = Control(ControlKind::TextBox, QStringLiteral("explanationText"));
    explanationText.place(240, 240, 7155, 915);
    explanationText.Font = Font;
    explanationText.BackColor = Colors::White;
    explanationText.MultiLine = true;
    explanationText.VerticalScrollBar = true;
    explanationText.Container = &explanationPanel;

    makeButton(explanationBack, QStringLiteral("explanationBack"), -1, QStringLiteral("戻る"), 7560,
               840, 675, 315, true, gothic(9.75, true));
    explanationBack.Container = &explanationPanel;
}

void MainScreen::createButtons()
{
    const QString c2 = QStringLiteral("resultButtons");
    makeButton(resultButtons[ResultButton::Next], c2, 0, QStringLiteral("次の問題へ"), 1380, 1380,
               1095, 375, true, pgothic(9));
    makeButton(resultButtons[ResultButton::Retry], c2, 1, QStringLiteral("この問題をもう一度"),
               3900, 1380, 1755, 375, true, pgothic(9.75));
    makeButton(resultButtons[ResultButton::ToList], c2, 2, QStringLiteral("終了"), 7080, 1380, 675,
               375, true, pgothic(9));
    makeButton(resultButtons[ResultButton::Previous], c2, 3, QStringLiteral("前の問題へ"), 2640,
               1380, 1095, 375, false, pgothic(9));
    makeButton(resultButtons[ResultButton::Explanation], c2, 4, QStringLiteral("解説"), 5820, 1380,
               915, 375, false, pgothic(9));
    makeButton(resultButtons[ResultButton::Mark], c2, 5, QStringLiteral("マークをつける"), 6360,
               900, 1395, 375, false, pgothic(9));

    const QString c1 = QStringLiteral("arrows");
    makeButton(arrows[Arrow::Next], c1, 0, QStringLiteral("次へ"), 8100, 180, 555, 375, false,
               pgothic(9, true));
    makeButton(arrows[Arrow::Previous], c1, 1, QStringLiteral("戻る"), 7500, 180, 555, 375, false,
               pgothic(9, true));
    makeButton(quitButton, QStringLiteral("quitButton"), -1, QStringLiteral("終了"), 7740, 6000,
               855, 315, true, gothic(11.25, true));
}

void MainScreen::createSeriesListPage()
{
    // The picture box is sized to its 324 x 119 picture plus a 2-pixel 3-D
    // border on each side.
    titlePicture = Control(ControlKind::PictureBox, QStringLiteral("titlePicture"));
    titlePicture.place(1860, 780, 4920, 1845);

    seriesList = Control(ControlKind::ListBox, QStringLiteral("seriesList"));
    seriesList.place(2100, 2820, 4395, 2310);
    seriesList.Font = Font;
    seriesList.BackColor = Colors::White;

    // Under the list, shown only while a record is kept.
    learnerLine = Control(ControlKind::Label, QStringLiteral("learnerLine"));
    learnerLine.place(2100, 5220, 4395, 255);
    learnerLine.Font = Font;
    learnerLine.BackColor = FormBack;
    learnerLine.ForeColor = Colors::Black;
    learnerLine.Visible = false;
    makeButton(progressButton, QStringLiteral("progressButton"), -1,
               QStringLiteral("学習の記録を見る"), 2100, 5565, 1935, 375, false,
               gothic(9.75, true));
}

void MainScreen::createResultPanel()
{
    resultMessage = Control(ControlKind::Label, QStringLiteral("resultMessage"));
    resultMessage.place(1560, 960, 5175, 375);
    resultMessage.Visible = false;
    resultMessage.Font = gothic(12, true);
    resultMessage.BackColor = PanelGrey;
    resultMessage.ForeColor = Colors::Black;

    resultPanel = Control(ControlKind::Shape, QStringLiteral("resultPanel"));
    resultPanel.place(1080, 780, 6915, 1095);
    resultPanel.FillColor = PanelGrey;
    resultPanel.BorderColor = Blue;
    resultPanel.BorderWidthPx = 3;
}

void MainScreen::createGroups()
{
    // The placeholder captions of the board are not measured: start-up hides
    // them before the first paint and showProblem measures every caption it
    // shows. Measuring them would load a font the first frame does not use.
    for (int i = 0; i < 6; ++i) {
        Control& cap = captions.at(i);
        cap = Control(ControlKind::Label, QStringLiteral("captions"), i);
        cap.Font = BoardLayout::captionFont();
        cap.BorderSingle = true;
        cap.AutoSize = true;
        cap.BackColor = Colors::GroupCaptions.at(i);
        cap.ForeColor = Colors::Black;
        cap.Left = 360.0F + 1500.0F * static_cast<float>(i);
        cap.Top = 1830;
        cap.setCaption(QStringLiteral(" 分類群%1 ").arg(i + 1));
        cap.setMeasure(&measure);
        cap.Visible = false;

        Control& frame = frames.at(i);
        frame = Control(ControlKind::Shape, QStringLiteral("frames"), i);
        frame.place(240.0F + 1500.0F * static_cast<float>(i), 1950, 1215, 2805);
        frame.Filled = GroupLooks.at(i).filled;
        frame.FillColor = GroupLooks.at(i).fill;
        frame.BorderColor = GroupLooks.at(i).border;
        frame.BorderWidthPx = 2;
        frame.Visible = i >= 2;
    }
}

void MainScreen::createTerms()
{
    for (int i = 0; i < SeriesState::MaxTerms; ++i) {
        Control& term = terms.at(i);
        term = Control(ControlKind::Label, QStringLiteral("terms"), i);
        term.Font = BoardLayout::termFont();
        term.BorderSingle = true;
        term.AutoSize = true;
        term.BackColor = Colors::ButtonFace;
        term.ForeColor = Colors::Black;
        // Three rows of seven until the first problem places them.
        const int row = i / 7;
        const int column = i % 7;
        term.Left = 360.0F + 1200.0F * static_cast<float>(column);
        term.Top = 720.0F + 360.0F * static_cast<float>(row);
        term.setCaption(QStringLiteral(" 項目%1 ").arg(i + 1));
        term.setMeasure(&measure);
    }
}

// The question, the problem number and the prompt under the board.
void MainScreen::createTexts()
{
    questionText = Control(ControlKind::Label, QStringLiteral("questionText"));
    const Box question = BoardLayout::DesignQuestion;
    questionText.place(question.left, question.top, question.width, question.height);
    questionText.Visible = false;
    questionText.Font = Font;
    questionText.BackColor = FormBack;
    questionText.ForeColor = Colors::Black;

    headingText = Control(ControlKind::Label, QStringLiteral("headingText"));
    const Box heading = BoardLayout::DesignHeading;
    headingText.place(heading.left, heading.top, heading.width, heading.height);
    headingText.Visible = false;
    headingText.Font = pgothic(9.75, true);
    headingText.BackColor = FormBack;
    headingText.ForeColor = Colors::Black;

    instructionLine = Control(ControlKind::Label, QStringLiteral("instructionLine"));
    instructionLine.place(120, 6000, 8355, 255);
    instructionLine.Font = Font;
    instructionLine.BackColor = FormBack;
    instructionLine.ForeColor = Colors::Black;
    instructionLine.setCaption(QString::fromUtf16(DragPrompt));
}

void MainScreen::setTabIndices()
{
    int tab = 0;
    for (Control* c : {&arrows[Arrow::Next], &seriesList, &resultButtons[ResultButton::Next],
                       &resultButtons[ResultButton::Retry], &resultButtons[ResultButton::ToList],
                       &titlePicture, &quitButton, &resultButtons[ResultButton::Previous],
                       &arrows[Arrow::Previous], &resultButtons[ResultButton::Explanation],
                       &explanationBack, &resultButtons[ResultButton::Mark], &progressButton}) {
        c->TabIndex = tab++;
    }
}

Screen MainScreen::screen() const
{
    if (seriesList.Visible) {
        return Screen::SeriesList;
    }
    if (explanationPanel.Visible) {
        return Screen::Explanation;
    }
    return resultPanel.Visible ? Screen::Result : Screen::Problem;
}

std::vector<Control*> MainScreen::stackingOrder()
{
    // Frames lie behind every label. The term labels come after the other
    // board labels, so a dragged term passes in front of captions and the
    // question text; the result box and its message cover them all.
    std::vector<Control*> order;
    for (Control& c : frames) {
        order.push_back(&c);
    }
    for (Control& c : captions) {
        order.push_back(&c);
    }
    for (Control* c : {&questionText, &headingText, &instructionLine, &learnerLine}) {
        order.push_back(c);
    }
    for (Control& c : terms) {
        order.push_back(&c);
    }
    for (Control* c : {&resultPanel, &resultMessage, &titlePicture, &seriesList, &explanationPanel,
                       &explanationText, &explanationBack}) {
        order.push_back(c);
    }
    for (Control& c : resultButtons) {
        order.push_back(&c);
    }
    for (Control& c : arrows) {
        order.push_back(&c);
    }
    order.push_back(&quitButton);
    order.push_back(&progressButton);
    return order;
}

std::vector<Control*> MainScreen::tabOrder()
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

void MainScreen::showProblem(qint16 problemNumber)
{
    // A problem shown anew has no term in hand, whatever the last one had.
    carry = TermCarry{};
    // The problem finished was shown as it was; the one shown now is read
    // from the file as a teacher may just have saved it.
    if (const int row = followSavedSeries(problemNumber); row != problemNumber) {
        problemNumber = static_cast<qint16>(row);
        state.currentProblem = row;
    }
    ::ShowProblem(*this, problemNumber);
    Recording::startShowing(*this);
    // A new problem starts with its first term under the keyboard.
    if (quiz.terms() > 0) {
        focusRequest = &terms[0];
    }
}

void MainScreen::ShowSeriesList()
{
    ::ShowSeriesList(*this);
}

void MainScreen::tell(const QString& message)
{
    Prompt told;
    told.text = message;
    prompts.append(told);
}

void MainScreen::ask(Question question, const QString& text, Dialogs::Icon icon)
{
    const Prompt asked{
        Prompt::Kind::Question, text, Dialogs::Buttons::OkCancel, icon, question, {}};
    prompts.append(asked);
    openQuestion = asked;
}

QString MainScreen::pathOf(const QString& bareName) const
{
    // Names written on Windows: any letter case, '\' between folders.
    return FileLookup::resolve(workDir, bareName);
}
