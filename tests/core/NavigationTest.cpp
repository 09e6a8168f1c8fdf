#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>

namespace
{

QStringList problemLines(int n, const QString& explanation = QString())
{
    QStringList l = {QStringLiteral("問題%1 第%1問").arg(n),
                     QStringLiteral("Ａ群"),
                     QStringLiteral("・項目%1").arg(n),
                     QStringLiteral("Ｂ群"),
                     QStringLiteral("ａ．群"),
                     QStringLiteral("正解a,")};
    if (!explanation.isEmpty()) {
        l += {QStringLiteral("解説"), explanation};
    }
    return l;
}

QStringList markedRecord(int n)
{
    return {QStringLiteral("問題%1 第%1問").arg(n), QStringLiteral("項目%1,").arg(n),
            QStringLiteral("群,"), "1,", QString()};
}

// A series of `count` one-item problems, opened and showing problem 1.
struct Session : Harness {
    explicit Session(int count = 5)
    {
        QStringList lines;
        for (int n = 1; n <= count; ++n) {
            lines += problemLines(n, n % 2 == 1 ? QStringLiteral("説明%1").arg(n) : QString());
        }
        TestFiles::write(path("ZQCList.TXT"), TestFiles::lines({QStringLiteral("動物,S.TXT")}));
        TestFiles::write(path("S.TXT"), TestFiles::lines(lines));
        form->Form_Load();
        open(1);
    }
    void open(int index)
    {
        form->List1.ListIndex = index;
        form->List1_DblClick();
    }
    // Drags the one item of the problem on display into its frame.
    void solve()
    {
        form->Label1_MouseDown(0, 1, 0, 0, 0);
        const Control& f = form->Shape1[0];
        form->Label1[0].Left = f.Left + f.Width / 2 - form->Label1[0].Width / 2;
        form->Label1[0].Top = f.Top + f.Height / 2;
        form->Label1_MouseUp(0, 1, 0, 0, 0);
        ASSERT_FALSE(form->quiz.open()) << "solved";
    }
    QByteArray marks() const { return TestFiles::readAll(path("Marked.txt")); }
    bool visible(const Control& c) const { return c.Visible; }
    QList<bool> resultButtons() const
    {
        QList<bool> v;
        for (const Control& b : form->Command2) {
            v.append(b.Visible);
        }
        return v;
    }
};

const QByteArray Placeholder = TestFiles::lines(MarksFile::placeholderRecord());

} // namespace

TEST(Arrows, NextMovesOnAndShowsTheEndOfTheSeriesOnTheLast)
{
    Session s;
    s.state.CurrentProblem = 3;
    s.form->Display(3);
    s.form->quiz = Quiz(s.state.Problems.at(3), 4);
    s.players.clear();
    s.form->Command1_Click(0);
    EXPECT_EQ(s.state.CurrentProblem, 4);
    EXPECT_EQ(s.form->Label6.Caption(), QStringLiteral("問題4"));
    EXPECT_EQ(s.players.log.first(), "MoreCorrect:rewind");
    EXPECT_EQ(s.form->quiz.previousRight(), 4) << "arrows leave the count alone";

    s.form->Command1_Click(0);
    s.players.clear();
    s.form->Command1_Click(0); // on problem 5 of 5
    EXPECT_EQ(s.state.CurrentProblem, 5);
    EXPECT_EQ(s.players.log, (QStringList{"MoreCorrect:rewind", "MoreCorrect:play"}));
    EXPECT_EQ(s.form->Label4.Caption(), QStringLiteral("このシリーズは終わりです"));
    EXPECT_TRUE(s.form->Label4.Visible);
    EXPECT_TRUE(s.form->Shape2.Visible);
    EXPECT_EQ(s.resultButtons(), (QList<bool>{false, true, true, true, false, false}));
    EXPECT_FALSE(s.form->Command1[0].Visible);
    EXPECT_FALSE(s.form->Command1[1].Visible);
    EXPECT_TRUE(s.form->Label1[0].Visible) << "the unsolved problem stays beneath";
    EXPECT_TRUE(s.form->quiz.open());

    s.form->Command1_Click(1);
    EXPECT_EQ(s.state.CurrentProblem, 4) << "back to problem 4";
}

TEST(Arrows, BackOnProblemOneAndArrowsOnTheListScreenOnlyRewind)
{
    Session s;
    s.players.clear();
    s.form->Command1_Click(1);
    EXPECT_EQ(s.state.CurrentProblem, 1);
    EXPECT_EQ(s.players.log, QStringList{"MoreCorrect:rewind"});

    s.form->Command3_Click();
    s.form->Command1[0].Visible = true;
    s.form->Command1_Click(0);
    EXPECT_FALSE(s.form->Command1[0].Visible);
    EXPECT_EQ(s.state.CurrentProblem, 1);
}

TEST(ResultButtons, OneProblemSeriesPreviousOnTheEndPanelOnlyHidesIt)
{
    Session s(1);
    s.form->Command1_Click(0);
    ASSERT_TRUE(s.form->Command2[3].Visible);
    s.form->Command2_Click(3);
    EXPECT_EQ(s.state.CurrentProblem, 1);
    EXPECT_FALSE(s.form->Shape2.Visible);
    EXPECT_FALSE(s.form->Label4.Visible);
    EXPECT_EQ(s.resultButtons(), QList<bool>(6, false));
    EXPECT_FALSE(s.form->Command1[0].Visible) << "no arrows until displayed again";
    s.solve(); // still solvable
    s.form->Command3_Click();
    EXPECT_TRUE(s.form->List1.Visible);
}

TEST(ResultButtons, NextRetryPreviousAndExplanation)
{
    Session s;
    s.solve();
    s.form->quiz = Quiz(s.state.Problems.at(1), 3);
    s.form->Command2_Click(0);
    EXPECT_EQ(s.state.CurrentProblem, 2);
    EXPECT_EQ(s.form->quiz.previousRight(), 0);
    EXPECT_TRUE(s.form->quiz.open());
    EXPECT_EQ(s.resultButtons(), QList<bool>(6, false));
    s.solve();
    s.form->Command2_Click(1);
    EXPECT_EQ(s.state.CurrentProblem, 2);
    EXPECT_TRUE(s.form->quiz.open());
    s.solve();
    s.form->Command2_Click(3);
    EXPECT_EQ(s.state.CurrentProblem, 1);
    s.solve();
    s.form->Command2_Click(4);
    EXPECT_TRUE(s.form->Frame1.Visible);
    EXPECT_EQ(s.form->Text1.Text, QStringLiteral("\u3000説明1"));
    EXPECT_FALSE(s.form->Shape2.Visible);
}

TEST(ExplanationBack, RestoresTheResultPanelAtTheLastAndAnEarlierProblem)
{
    Session s(3);
    s.solve();
    s.form->Command2_Click(4);
    s.form->Command4_Click();
    EXPECT_FALSE(s.form->Frame1.Visible);
    EXPECT_TRUE(s.form->Shape2.Visible);
    EXPECT_TRUE(s.form->Label4.Visible);
    EXPECT_EQ(s.resultButtons(), (QList<bool>{true, true, true, false, true, true}))
        << "problem 1: no previous";

    s.form->Command1_Click(0);
    s.form->Command1_Click(0); // problem 3 of 3
    s.solve();
    s.form->Command2_Click(4);
    s.form->Command4_Click();
    EXPECT_EQ(s.resultButtons(), (QList<bool>{false, true, true, true, true, true}))
        << "the last problem: no next";
    EXPECT_EQ(s.form->Command2[5].Caption(), QStringLiteral("マークをつける"));
}

TEST(Marks, MarkThenNextAppendsOnceAndMarkingTwiceAppendsNothing)
{
    Session s;
    s.form->Command1_Click(0);
    s.solve(); // problem 2
    s.form->Command2_Click(5);
    EXPECT_EQ(s.form->Command2[5].Caption(), QStringLiteral("マーク取消"));
    EXPECT_EQ(s.state.MarkPending, 1);
    EXPECT_FALSE(QFile::exists(s.path("Marked.txt"))) << "nothing written before leaving";
    s.form->Command2_Click(0);
    EXPECT_EQ(s.state.CurrentProblem, 3);
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(markedRecord(2)));

    s.solve(); // problem 3
    s.form->Command2_Click(5);
    s.form->Command2_Click(5);
    EXPECT_EQ(s.state.MarkPending, 0);
    s.form->Command2_Click(0);
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(markedRecord(2)));
}

TEST(Marks, MarkThenExplanationAppendsAtOnceAndAgainAfterBack)
{
    Session s;
    s.solve();
    s.form->Command2_Click(5);
    s.form->Command2_Click(4);
    QStringList first = markedRecord(1);
    first[4] = QStringLiteral("\u3000説明1");
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(first));
    s.form->Command4_Click();
    EXPECT_EQ(s.form->Command2[5].Caption(), QStringLiteral("マークをつける"));
    s.form->Command2_Click(5);
    s.form->Command3_Click();
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(first) + TestFiles::lines(first));
    EXPECT_TRUE(s.form->List1.Visible);
    EXPECT_FALSE(s.form->Frame1.Visible);

    // Another series afterwards appends nothing more.
    s.open(1);
    s.solve();
    s.form->Command2_Click(0);
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(first) + TestFiles::lines(first));
}

TEST(Marks, RemovingAMarkInTheMarkedSeriesRewritesOnlyWhenLeaving)
{
    for (const bool byQuitButton : {false, true}) {
        Session s;
        const QByteArray file = Placeholder + TestFiles::lines(markedRecord(1)) +
                                TestFiles::lines(markedRecord(2)) +
                                TestFiles::lines(markedRecord(3));
        TestFiles::write(s.path("Marked.txt"), file);
        s.form->Command3_Click();
        s.open(0);
        ASSERT_EQ(s.state.MarkedMode, 1);
        EXPECT_EQ(s.state.ProblemCount, 3);
        EXPECT_EQ(s.form->Caption,
                  QStringLiteral("用語分類問題集 Velmorant < マークの付いた問題 >"));
        s.form->Command1_Click(0);
        s.solve(); // marked problem 2
        EXPECT_EQ(s.form->Command2[5].Caption(), QStringLiteral("マーク取消"));
        s.form->Command2_Click(5);
        EXPECT_FALSE(s.form->Command2[5].Visible);
        EXPECT_FALSE(s.state.Marked[2]);
        s.form->Command2_Click(0);
        s.solve();
        s.form->Command2_Click(3);
        EXPECT_EQ(s.marks(), file) << "the flag waits until the series is left";
        EXPECT_FALSE(s.state.Marked[2]);
        if (byQuitButton) {
            s.form->Command3_Click();
        } else {
            s.solve();
            s.form->Command2_Click(2);
        }
        EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(markedRecord(1)) +
                                 TestFiles::lines(markedRecord(3)));
        EXPECT_TRUE(s.form->List1.Visible);
    }
}

TEST(Marks, EmptyMarkedSeriesShowsTheMessageAndStaysOnTheList)
{
    Session s;
    s.form->Command3_Click();
    TestFiles::write(s.path("Marked.txt"), Placeholder);
    s.dialogs.messages.clear();
    s.open(0);
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    EXPECT_EQ(s.dialogs.messages[0].text, QStringLiteral("マークの付いた問題は登録されていません"));
    EXPECT_EQ(s.dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_TRUE(s.form->List1.Visible);
    EXPECT_EQ(s.state.MarkedMode, 0);
    EXPECT_EQ(s.state.ProblemCount, 5) << "the count keeps its value";
}

TEST(Quit, OnTheListScreenCancelChangesNothingAndOkEndsWithoutFiles)
{
    Session s;
    s.form->Command3_Click();
    ASSERT_TRUE(s.form->List1.Visible);
    s.dialogs.messages.clear();
    s.dialogs.script = {Dialogs::Answer::Cancel};
    s.form->Command3_Click();
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    EXPECT_EQ(s.dialogs.messages[0].text, QStringLiteral("終了してもよろしいですか"));
    EXPECT_EQ(s.dialogs.messages[0].buttons, Dialogs::Buttons::OkCancel);
    EXPECT_EQ(s.dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_EQ(s.dialogs.ended, 0);
    EXPECT_TRUE(s.form->List1.Visible);

    s.form->Command2[5].setCaption(QStringLiteral("マーク取消"));
    s.state.MarkPending = 1; // a pending mark is not written by quitting from the list
    s.form->Command3_Click();
    EXPECT_EQ(s.dialogs.ended, 1);
    EXPECT_FALSE(QFile::exists(s.path("Marked.txt")));
}

TEST(Quit, WithAProblemOnScreenReturnsToTheListWithoutAsking)
{
    Session s;
    s.solve();
    s.form->Command2_Click(4);
    s.form->Command3_Click();
    EXPECT_TRUE(s.dialogs.messages.isEmpty());
    EXPECT_TRUE(s.form->List1.Visible);
    EXPECT_TRUE(s.form->Picture1.Visible);
    EXPECT_FALSE(s.form->Frame1.Visible) << "the explanation is not left over the list";
    EXPECT_FALSE(s.form->Shape2.Visible);
    EXPECT_FALSE(s.form->Label3.Visible);
    EXPECT_FALSE(s.form->Label6.Visible);
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(s.form->Shape1.at(i).Visible);
        EXPECT_FALSE(s.form->Label2.at(i).Visible);
        EXPECT_FALSE(s.form->Command2.at(i).Visible);
    }
    for (const Control& item : s.form->Label1) {
        EXPECT_FALSE(item.Visible);
        EXPECT_EQ(item.BackColor, Colors::ButtonFace);
    }
    EXPECT_EQ(s.form->Caption, QStringLiteral("用語分類問題集 Velmorant"));
    EXPECT_EQ(s.form->Label5.Caption(), QString::fromUtf16(Form1::ListPrompt));
    EXPECT_FLOAT_EQ(s.form->List1.Left, (9450 - 4395) / 2.0F);
}

TEST(Closing, TitleBarCloseSavesWhatLeavingWouldSave)
{
    Session s;
    s.solve();
    s.form->Command2_Click(5);
    s.close();
    QStringList first = markedRecord(1);
    first[4] = QStringLiteral("\u3000説明1");
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(first));
    EXPECT_TRUE(s.dialogs.messages.isEmpty()) << "no confirmation";

    Session m;
    TestFiles::write(m.path("Marked.txt"), Placeholder + TestFiles::lines(markedRecord(1)) +
                                               TestFiles::lines(markedRecord(2)));
    m.form->Command3_Click();
    m.open(0);
    m.solve();
    m.form->Command2_Click(5);
    m.close();
    EXPECT_EQ(m.marks(), Placeholder + TestFiles::lines(markedRecord(2)));
}

TEST(Closing, WriteFailureKeepsTheMarkForTheNextWrite)
{
    Session s;
    s.solve();
    s.form->Command2_Click(5);
    {
        const TestFiles::FileSizeLimit full(10);
        s.form->Command2_Click(0);
    }
    EXPECT_EQ(s.state.CurrentProblem, 2) << "the button still moves on";
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    EXPECT_TRUE(s.dialogs.messages[0].text.contains("Marked.txt"));
    EXPECT_FALSE(QFile::exists(s.path("Marked.txt")));
    s.close();
    QStringList first = markedRecord(1);
    first[4] = QStringLiteral("\u3000説明1");
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(first)) << "problem 1, not problem 2";
}

TEST(Closing, MarksThatCannotBeSavedAreNeverGivenUpSilently)
{
    Session s;
    s.solve();
    s.form->Command2_Click(5);
    // The title-bar close: the write fails; one message says so plainly and
    // the user stays.
    s.dialogs.script = {Dialogs::Answer::Cancel};
    {
        const TestFiles::FileSizeLimit full(10);
        EXPECT_FALSE(s.close());
    }
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    const FakeDialogs::Shown asked = s.dialogs.messages[0];
    EXPECT_EQ(asked.buttons, Dialogs::Buttons::OkCancel);
    EXPECT_TRUE(asked.text.contains(QStringLiteral("保存できませんでした")));
    EXPECT_TRUE(asked.text.contains("Marked.txt"));
    EXPECT_TRUE(asked.text.contains(QStringLiteral("理由: ")));
    EXPECT_TRUE(asked.text.contains(QStringLiteral("1件")));
    EXPECT_FALSE(asked.text.contains(QStringLiteral("失われていません")));
    EXPECT_FALSE(QFile::exists(s.path("Marked.txt")));
    // Staying puts the mark back on its problem: the mark button still
    // takes it back, and a later write still saves it.
    EXPECT_EQ(s.state.MarkPending, 1);
    EXPECT_TRUE(s.form->marks.pending().isEmpty());

    // An append that fails as the series is left is told once, without
    // calling the mark safe.
    {
        const TestFiles::FileSizeLimit full(10);
        s.form->Command2_Click(2);
    }
    ASSERT_EQ(s.dialogs.messages.size(), 2);
    EXPECT_FALSE(s.dialogs.messages[1].text.contains(QStringLiteral("失われていません")));
    EXPECT_TRUE(s.dialogs.messages[1].text.contains(QStringLiteral("まだ保存されていない")));
    ASSERT_TRUE(s.form->List1.Visible);

    // "終了" on the list: after the confirmation, the failed save asks again;
    // Cancel stays, OK ends without the mark.
    s.dialogs.messages.clear();
    s.dialogs.script = {Dialogs::Answer::Ok, Dialogs::Answer::Cancel, Dialogs::Answer::Ok,
                        Dialogs::Answer::Ok};
    {
        const TestFiles::FileSizeLimit full(10);
        s.form->Command3_Click();
        EXPECT_EQ(s.dialogs.ended, 0);
        EXPECT_EQ(s.form->marks.pending().size(), 1);
        s.form->Command3_Click();
    }
    EXPECT_EQ(s.dialogs.ended, 1);
    ASSERT_EQ(s.dialogs.messages.size(), 4) << "confirmation and one question per try";
    EXPECT_EQ(s.dialogs.messages[1].buttons, Dialogs::Buttons::OkCancel);
    EXPECT_TRUE(s.dialogs.messages[1].text.contains(QStringLiteral("失われます")));

    // With a working disk, the close saves the mark without a word.
    Session t;
    t.solve();
    t.form->Command2_Click(5);
    {
        const TestFiles::FileSizeLimit full(10);
        t.form->Command2_Click(0);
    }
    t.dialogs.messages.clear();
    EXPECT_TRUE(t.close());
    EXPECT_TRUE(t.dialogs.messages.isEmpty());
    EXPECT_TRUE(t.marks().startsWith(Placeholder));
    EXPECT_TRUE(t.form->marks.pending().isEmpty());
}
