#include "ViewFixture.h"

#include "marks/MarksFile.h"

#include <QFile>

namespace
{

const QStringList TwoProblems = {
    QStringLiteral("問題１　次の動物を分類しなさい。"),
    QStringLiteral("Ａ群"),
    QStringLiteral("・ウニ　・イカ"),
    QStringLiteral("Ｂ群"),
    QStringLiteral("ａ．棘皮動物　ｂ．軟体動物"),
    QStringLiteral("正解a,b,"),
    QStringLiteral("解説"),
    QStringLiteral("ウニは棘皮動物，イカは軟体動物。"),
    QStringLiteral("問題２　次の植物を分類しなさい。"),
    QStringLiteral("Ａ群"),
    QStringLiteral("・スギ　・サクラ　・イチョウ"),
    QStringLiteral("Ｂ群"),
    QStringLiteral("ａ．裸子植物　ｂ．被子植物"),
    QStringLiteral("正解a,b,a,"),
};

QByteArray record(const QStringList& columns)
{
    return TestFiles::lines(columns);
}

const QStringList Problem1 = {QStringLiteral("問題１　次の動物を分類しなさい。"),
                              QStringLiteral("ウニ,イカ,"), QStringLiteral("棘皮動物,軟体動物,"),
                              QStringLiteral("1,2,"),
                              QStringLiteral("\u3000ウニは棘皮動物，イカは軟体動物。")};

class DesktopSession : public ViewFixture
{
protected:
    // Drags term `index` with the mouse onto the middle of frame `frame`.
    void dragInto(int index, int frame)
    {
        const Control& term = form->terms.at(index);
        const Control& target = form->frames.at(frame);
        const QPoint grab = at(term, QPoint(5, 5));
        const QPoint drop = centreOf(target) + QPoint(-40, 0);
        QTest::mousePress(window(), Qt::LeftButton, {}, grab);
        QTest::mouseMove(window(), (grab + drop) / 2);
        QTest::mouseMove(window(), drop);
        QTest::mouseRelease(window(), Qt::LeftButton, {}, drop);
    }
    // Drags every term of the problem on display into its own frame.
    void solveByDragging()
    {
        for (int i = 0; i < form->quiz.terms(); ++i) {
            dragInto(i, (form->quiz.answerOf(i) + 1) - 1);
        }
    }
    void click(const Control& button)
    {
        ASSERT_TRUE(widget(button)->isVisible()) << button.displayName().toStdString();
        QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(button));
    }
    QByteArray marks() const { return TestFiles::readAll(path(QStringLiteral("Marked.txt"))); }
};

} // namespace

TEST_F(DesktopSession, DraggingSnapsIntoTheNextSlotAndSolvingShowsTheResultPanel)
{
    TestFiles::write(path(QStringLiteral("Animals.TXT")), TestFiles::lines(TwoProblems));
    doubleClickEntry(1);
    ASSERT_TRUE(form->quiz.open());
    dragInto(0, 0);
    const Control& frame = form->frames[0];
    EXPECT_EQ(form->quiz.termsIn(0).value(0), 0);
    EXPECT_FLOAT_EQ(form->terms[0].Left, frame.Left + 120);
    EXPECT_FLOAT_EQ(form->terms[0].Top, frame.Top + 250);
    EXPECT_EQ(widget(form->terms[0])->pos(),
              QPoint(qRound(form->terms[0].Left / 15), qRound(form->terms[0].Top / 15)));
    EXPECT_TRUE(widget(form->resultPanel)->isHidden());

    dragInto(1, 1);
    EXPECT_FALSE(form->quiz.open());
    EXPECT_TRUE(widget(form->resultPanel)->isVisible());
    EXPECT_TRUE(widget(form->resultMessage)->isVisible());
    EXPECT_EQ(form->resultMessage.Caption(), QStringLiteral("正解です。次の問題へ進みますか？"));
    for (int i : {0, 1, 2, 4, 5}) {
        EXPECT_TRUE(widget(form->resultButtons.at(i))->isVisible()) << i;
    }
    EXPECT_TRUE(widget(form->resultButtons[ResultButton::Previous])->isHidden());
    EXPECT_EQ(players.log.filter(QStringLiteral(":play")), QStringList{"Correct:play"});
}

TEST_F(DesktopSession, MarkLeaveReplayUnmarkAndLeaveAgain)
{
    TestFiles::write(path(QStringLiteral("Animals.TXT")), TestFiles::lines(TwoProblems));
    const QByteArray placeholder = record(MarksFile::placeholderRecord());

    // An ordinary series: mark problem 1 and go on.
    doubleClickEntry(1);
    solveByDragging();
    click(form->resultButtons[ResultButton::Mark]);
    EXPECT_EQ(form->resultButtons[ResultButton::Mark].Caption(), QStringLiteral("マーク取消"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Marked.txt"))));
    click(form->resultButtons[ResultButton::Next]);
    EXPECT_EQ(marks(), placeholder + record(Problem1));
    EXPECT_EQ(state().currentProblem, 2);

    // Problem 2 unmarked; leave with 終了.
    solveByDragging();
    EXPECT_EQ(form->resultMessage.Caption(), QStringLiteral("正解です。このシリーズは終わりです"));
    click(form->resultButtons[ResultButton::ToList]);
    EXPECT_TRUE(widget(form->seriesList)->isVisible());
    EXPECT_EQ(view->windowTitle(), QStringLiteral("用語分類問題集 Velmorant"));
    EXPECT_EQ(marks(), placeholder + record(Problem1));

    // Replay the marked series and remove the mark.
    doubleClickEntry(0);
    EXPECT_EQ(view->windowTitle(),
              QStringLiteral("用語分類問題集 Velmorant < マークの付いた問題 >"));
    EXPECT_TRUE(state().markedSeries);
    solveByDragging();
    EXPECT_EQ(form->resultButtons[ResultButton::Mark].Caption(), QStringLiteral("マーク取消"));
    click(form->resultButtons[ResultButton::Mark]);
    EXPECT_TRUE(widget(form->resultButtons[ResultButton::Mark])->isHidden());
    EXPECT_EQ(marks(), placeholder + record(Problem1)) << "nothing until the series is left";
    click(form->quitButton);
    EXPECT_EQ(marks(), placeholder);
    EXPECT_TRUE(widget(form->seriesList)->isVisible());
    EXPECT_TRUE(widget(form->titlePicture)->isVisible());

    // Nothing marked any more.
    doubleClickEntry(0);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("マークの付いた問題は登録されていません"));
}
