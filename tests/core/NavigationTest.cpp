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

// A series of `count` one-term problems, opened and showing problem 1.
struct Round : Harness {
    explicit Round(int count = 5)
    {
        QStringList lines;
        for (int n = 1; n <= count; ++n) {
            lines += problemLines(n, n % 2 == 1 ? QStringLiteral("説明%1").arg(n) : QString());
        }
        TestFiles::write(path("ZQCList.TXT"), TestFiles::lines({QStringLiteral("動物,S.TXT")}));
        TestFiles::write(path("S.TXT"), TestFiles::lines(lines));
        session->start();
        open(1);
    }
    void open(int index)
    {
        form->seriesList.ListIndex = index;
        session->open(form->seriesList.ListIndex);
    }
    // Puts the one term of the problem on display into the middle of its frame.
    void solve()
    {
        const Control& f = form->frames[0];
        session->putAt(0, f.Left + f.Width / 2 - form->terms[0].Width / 2, f.Top + f.Height / 2);
        ASSERT_FALSE(form->quiz.open()) << "solved";
    }
    QByteArray marks() const { return TestFiles::readAll(path("Marked.txt")); }
    bool visible(const Control& c) const { return c.Visible; }
    QList<bool> resultButtons() const
    {
        QList<bool> v;
        for (const Control& b : form->resultButtons) {
            v.append(b.Visible);
        }
        return v;
    }
};

const QByteArray Placeholder = TestFiles::lines(MarksFile::placeholderRecord());

// Problem 1's record as marking it writes it, with its explanation.
QByteArray firstRecord()
{
    QStringList r = markedRecord(1);
    r[4] = QStringLiteral("\u3000説明1");
    return TestFiles::lines(r);
}

} // namespace

TEST(Arrows, NextMovesOnAndShowsTheEndOfTheSeriesOnTheLast)
{
    Round s;
    s.state.currentProblem = 3;
    s.form->showProblem(3);
    s.form->quiz = Quiz(s.state.problems.at(3), 4);
    s.players.clear();
    s.session->press(Button::ArrowNext);
    EXPECT_EQ(s.state.currentProblem, 4);
    EXPECT_EQ(s.form->headingText.Caption(), QStringLiteral("問題4"));
    EXPECT_EQ(s.players.log.first(), "MoreCorrect:rewind");
    EXPECT_EQ(s.form->quiz.previousRight(), 4) << "arrows leave the count alone";

    s.session->press(Button::ArrowNext);
    s.players.clear();
    s.session->press(Button::ArrowNext); // on problem 5 of 5
    EXPECT_EQ(s.state.currentProblem, 5);
    EXPECT_EQ(s.players.log, (QStringList{"MoreCorrect:rewind", "MoreCorrect:play"}));
    EXPECT_EQ(s.form->resultMessage.Caption(), QStringLiteral("このシリーズは終わりです"));
    EXPECT_TRUE(s.form->resultMessage.Visible);
    EXPECT_TRUE(s.form->resultPanel.Visible);
    EXPECT_EQ(s.resultButtons(), (QList<bool>{false, true, true, true, false, false}));
    EXPECT_FALSE(s.form->arrows[Arrow::Next].Visible);
    EXPECT_FALSE(s.form->arrows[Arrow::Previous].Visible);
    EXPECT_TRUE(s.form->terms[0].Visible) << "the unsolved problem stays beneath";
    EXPECT_TRUE(s.form->quiz.open());

    EXPECT_TRUE(s.session->press(Button::ArrowPrevious).refusal) << "the arrows are hidden";
    s.session->press(Button::Previous);
    EXPECT_EQ(s.state.currentProblem, 4) << "back to problem 4";
}

TEST(Arrows, BackRewindsAndArrowsNotShownAreRefused)
{
    Round s;
    s.players.clear();
    EXPECT_TRUE(s.session->press(Button::ArrowPrevious).refusal) << "hidden on problem 1";
    EXPECT_TRUE(s.players.log.isEmpty());
    s.session->press(Button::ArrowNext);
    s.players.clear();
    s.session->press(Button::ArrowPrevious);
    EXPECT_EQ(s.state.currentProblem, 1);
    EXPECT_EQ(s.players.log.first(), "MoreCorrect:rewind");

    s.session->leave();
    s.players.clear();
    EXPECT_TRUE(s.session->press(Button::ArrowNext).refusal);
    EXPECT_TRUE(s.players.log.isEmpty());
    EXPECT_EQ(s.state.currentProblem, 1);
}

TEST(ResultButtons, OneProblemSeriesPreviousOnTheEndPanelOnlyHidesIt)
{
    Round s(1);
    s.session->press(Button::ArrowNext);
    ASSERT_TRUE(s.form->resultButtons[ResultButton::Previous].Visible);
    s.session->press(Button::Previous);
    EXPECT_EQ(s.state.currentProblem, 1);
    EXPECT_FALSE(s.form->resultPanel.Visible);
    EXPECT_FALSE(s.form->resultMessage.Visible);
    EXPECT_EQ(s.resultButtons(), QList<bool>(6, false));
    EXPECT_FALSE(s.form->arrows[Arrow::Next].Visible) << "no arrows until displayed again";
    s.solve(); // still solvable
    s.session->leave();
    EXPECT_TRUE(s.form->seriesList.Visible);
}

TEST(ResultButtons, NextRetryPreviousAndExplanation)
{
    Round s;
    s.solve();
    s.form->quiz = Quiz(s.state.problems.at(1), 3);
    s.session->press(Button::Next);
    EXPECT_EQ(s.state.currentProblem, 2);
    EXPECT_EQ(s.form->quiz.previousRight(), 0);
    EXPECT_TRUE(s.form->quiz.open());
    EXPECT_EQ(s.resultButtons(), QList<bool>(6, false));
    s.solve();
    s.session->press(Button::Retry);
    EXPECT_EQ(s.state.currentProblem, 2);
    EXPECT_TRUE(s.form->quiz.open());
    s.solve();
    s.session->press(Button::Previous);
    EXPECT_EQ(s.state.currentProblem, 1);
    s.solve();
    s.session->press(Button::Explanation);
    EXPECT_TRUE(s.form->explanationPanel.Visible);
    EXPECT_EQ(s.form->explanationText.Text, QStringLiteral("\u3000説明1"));
    EXPECT_FALSE(s.form->resultPanel.Visible);
}

TEST(ExplanationBack, RestoresTheResultPanelAtTheLastAndAnEarlierProblem)
{
    Round s(3);
    s.solve();
    s.session->press(Button::Explanation);
    s.session->press(Button::ExplanationBack);
    EXPECT_FALSE(s.form->explanationPanel.Visible);
    EXPECT_TRUE(s.form->resultPanel.Visible);
    EXPECT_TRUE(s.form->resultMessage.Visible);
    EXPECT_EQ(s.resultButtons(), (QList<bool>{true, true, true, false, true, true}))
        << "problem 1: no previous";

    s.session->press(Button::Next);
    s.session->press(Button::ArrowNext); // problem 3 of 3
    s.solve();
    s.session->press(Button::Explanation);
    s.session->press(Button::ExplanationBack);
    EXPECT_EQ(s.resultButtons(), (QList<bool>{false, true, true, true, true, true}))
        << "the last problem: no next";
    EXPECT_EQ(s.form->resultButtons[ResultButton::Mark].Caption(),
              QStringLiteral("マークをつける"));
}

TEST(Marks, MarkThenNextAppendsOnceAndMarkingTwiceAppendsNothing)
{
    Round s;
    s.session->press(Button::ArrowNext);
    s.solve(); // problem 2
    s.session->press(Button::Mark);
    EXPECT_EQ(s.form->resultButtons[ResultButton::Mark].Caption(), QStringLiteral("マーク取消"));
    EXPECT_TRUE(s.state.markPending);
    EXPECT_FALSE(QFile::exists(s.path("Marked.txt"))) << "nothing written before leaving";
    s.session->press(Button::Next);
    EXPECT_EQ(s.state.currentProblem, 3);
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(markedRecord(2)));

    s.solve(); // problem 3
    s.session->press(Button::Mark);
    s.session->press(Button::Mark);
    EXPECT_FALSE(s.state.markPending);
    s.session->press(Button::Next);
    EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(markedRecord(2)));
}

TEST(Marks, MarkThenExplanationAppendsAtOnceAndAgainAfterBack)
{
    Round s;
    s.solve();
    s.session->press(Button::Mark);
    s.session->press(Button::Explanation);
    EXPECT_EQ(s.marks(), Placeholder + firstRecord());
    s.session->press(Button::ExplanationBack);
    EXPECT_EQ(s.form->resultButtons[ResultButton::Mark].Caption(),
              QStringLiteral("マークをつける"));
    s.session->press(Button::Mark);
    s.session->leave();
    EXPECT_EQ(s.marks(), Placeholder + firstRecord() + firstRecord());
    EXPECT_TRUE(s.form->seriesList.Visible);
    EXPECT_FALSE(s.form->explanationPanel.Visible);

    // Another series afterwards appends nothing more.
    s.open(1);
    s.solve();
    s.session->press(Button::Next);
    EXPECT_EQ(s.marks(), Placeholder + firstRecord() + firstRecord());
}

TEST(Marks, RemovingAMarkInTheMarkedSeriesRewritesOnlyWhenLeaving)
{
    // Left by the result panel's list button, by 終了, or by the title bar.
    for (const int way : {0, 1, 2}) {
        Round s;
        const QByteArray file = Placeholder + TestFiles::lines(markedRecord(1)) +
                                TestFiles::lines(markedRecord(2)) +
                                TestFiles::lines(markedRecord(3));
        TestFiles::write(s.path("Marked.txt"), file);
        s.session->leave();
        s.open(0);
        ASSERT_TRUE(s.state.markedSeries);
        EXPECT_EQ(s.state.problemCount, 3);
        EXPECT_EQ(s.form->Caption,
                  QStringLiteral("用語分類問題集 Velmorant < マークの付いた問題 >"));
        s.session->press(Button::ArrowNext);
        s.solve(); // marked problem 2
        EXPECT_EQ(s.form->resultButtons[ResultButton::Mark].Caption(),
                  QStringLiteral("マーク取消"));
        s.session->press(Button::Mark);
        EXPECT_FALSE(s.form->resultButtons[ResultButton::Mark].Visible);
        EXPECT_FALSE(s.state.marked[2]);
        s.session->press(Button::Next);
        s.solve();
        s.session->press(Button::Previous);
        EXPECT_EQ(s.marks(), file) << "the flag waits until the series is left";
        EXPECT_FALSE(s.state.marked[2]);
        if (way == 0) {
            s.solve();
            s.session->press(Button::ToList);
        } else if (way == 1) {
            s.session->leave();
        } else {
            ASSERT_TRUE(s.close());
        }
        EXPECT_EQ(s.marks(), Placeholder + TestFiles::lines(markedRecord(1)) +
                                 TestFiles::lines(markedRecord(3)))
            << way;
        EXPECT_EQ(s.form->seriesList.Visible, way != 2) << way;
        EXPECT_TRUE(s.dialogs.messages.isEmpty()) << way;
    }
}

TEST(Marks, EmptyMarkedSeriesShowsTheMessageAndStaysOnTheList)
{
    Round s;
    s.session->leave();
    TestFiles::write(s.path("Marked.txt"), Placeholder);
    s.dialogs.messages.clear();
    s.open(0);
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    EXPECT_EQ(s.dialogs.messages[0].text, QStringLiteral("マークの付いた問題は登録されていません"));
    EXPECT_EQ(s.dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_TRUE(s.form->seriesList.Visible);
    EXPECT_FALSE(s.state.markedSeries);
    EXPECT_EQ(s.state.problemCount, 5) << "the count keeps its value";
}

TEST(Quit, OnTheListScreenCancelChangesNothingAndOkEndsWithoutFiles)
{
    Round s;
    s.session->leave();
    ASSERT_TRUE(s.form->seriesList.Visible);
    s.dialogs.messages.clear();
    s.dialogs.script = {Dialogs::Answer::Cancel};
    s.session->leave();
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    EXPECT_EQ(s.dialogs.messages[0].text, QStringLiteral("終了してもよろしいですか"));
    EXPECT_EQ(s.dialogs.messages[0].buttons, Dialogs::Buttons::OkCancel);
    EXPECT_EQ(s.dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_EQ(s.dialogs.ended, 0);
    EXPECT_TRUE(s.form->seriesList.Visible);

    s.form->resultButtons[ResultButton::Mark].setCaption(QStringLiteral("マーク取消"));
    s.state.markPending = true; // a pending mark is not written by quitting from the list
    s.session->leave();
    EXPECT_EQ(s.dialogs.ended, 1);
    EXPECT_FALSE(QFile::exists(s.path("Marked.txt")));
}

TEST(Quit, WithAProblemOnScreenReturnsToTheListWithoutAsking)
{
    Round s;
    s.solve();
    s.session->press(Button::Explanation);
    s.session->leave();
    EXPECT_TRUE(s.dialogs.messages.isEmpty());
    expectListScreen(s.form.get()); // the explanation too is not left over the list
    EXPECT_FLOAT_EQ(s.form->seriesList.Left, (9450 - 4395) / 2.0F);
}

TEST(Closing, TitleBarCloseSavesWhatLeavingWouldSave)
{
    Round s;
    s.solve();
    s.session->press(Button::Mark);
    s.close();
    EXPECT_EQ(s.marks(), Placeholder + firstRecord());
    EXPECT_TRUE(s.dialogs.messages.isEmpty()) << "no confirmation";
}

TEST(Closing, WriteFailureKeepsTheMarkForTheNextWrite)
{
    Round s;
    s.solve();
    s.session->press(Button::Mark);
    {
        const TestFiles::FileSizeLimit full(10);
        s.session->press(Button::Next);
    }
    EXPECT_EQ(s.state.currentProblem, 2) << "the button still moves on";
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    EXPECT_TRUE(s.dialogs.messages[0].text.contains("Marked.txt"));
    EXPECT_FALSE(QFile::exists(s.path("Marked.txt")));
    s.dialogs.messages.clear();
    EXPECT_TRUE(s.close()) << "with a working disk, the close saves the mark without a word";
    EXPECT_TRUE(s.dialogs.messages.isEmpty());
    EXPECT_TRUE(s.fileMarks->pending().isEmpty());
    EXPECT_EQ(s.marks(), Placeholder + firstRecord()) << "problem 1, not problem 2";
}

TEST(Closing, MarksThatCannotBeSavedAreNeverGivenUpSilently)
{
    Round s;
    s.solve();
    s.session->press(Button::Mark);
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
    EXPECT_TRUE(s.state.markPending);
    EXPECT_TRUE(s.fileMarks->pending().isEmpty());

    // An append that fails as the series is left is told once, without
    // calling the mark safe.
    {
        const TestFiles::FileSizeLimit full(10);
        s.session->press(Button::ToList);
    }
    ASSERT_EQ(s.dialogs.messages.size(), 2);
    EXPECT_FALSE(s.dialogs.messages[1].text.contains(QStringLiteral("失われていません")));
    EXPECT_TRUE(s.dialogs.messages[1].text.contains(QStringLiteral("まだ保存されていない")));
    ASSERT_TRUE(s.form->seriesList.Visible);

    // "終了" on the list: after the confirmation, the failed save asks again;
    // Cancel stays, OK ends without the mark.
    s.dialogs.messages.clear();
    s.dialogs.script = {Dialogs::Answer::Ok, Dialogs::Answer::Cancel, Dialogs::Answer::Ok,
                        Dialogs::Answer::Ok};
    {
        const TestFiles::FileSizeLimit full(10);
        s.session->leave();
        EXPECT_EQ(s.dialogs.ended, 0);
        EXPECT_EQ(s.fileMarks->pending().size(), 1);
        s.session->leave();
    }
    EXPECT_EQ(s.dialogs.ended, 1);
    ASSERT_EQ(s.dialogs.messages.size(), 4) << "confirmation and one question per try";
    EXPECT_EQ(s.dialogs.messages[1].buttons, Dialogs::Buttons::OkCancel);
    EXPECT_TRUE(s.dialogs.messages[1].text.contains(QStringLiteral("失われます")));
}
