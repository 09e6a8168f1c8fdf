#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace
{

// A problem on the board with two frames at known places:
// frame 0 at (100, 3000), frame 1 at (4500, 3000), both 4000 x 2835.
struct Play : Harness {
    explicit Play(int items = 3, const QString& answers = "1,2,1,", int problem = 1,
                  int problems = 3, const QString& explanation = QStringLiteral("説明"))
    {
        QString list;
        for (int i = 0; i < items; ++i) {
            list += QStringLiteral("i%1,").arg(i);
        }
        for (int n = 1; n <= problems; ++n) {
            setRow(n, QStringLiteral("問題%1 q").arg(n), list, "g1,g2,", answers, explanation);
        }
        state.problemCount = problems;
        state.currentProblem = problem;
        form->showProblem(static_cast<qint16>(problem));
        setFrame(0, 100, 3000, 4000, 2835);
        setFrame(1, 4500, 3000, 4000, 2835);
        players.clear();
    }
    void setFrame(int c, float l, float t, float w, float h)
    {
        form->frames.at(c).place(l, t, w, h);
        form->board.frames[c] = {l, t, w, h};
    }
    Control& item(int i) { return form->terms.at(i); }
    // Picks item i up, puts its centre at (cx, cy) and lets it go.
    void drop(int i, float cx, float cy)
    {
        form->termMouseDown(i, 1, 0, 5, 5);
        item(i).Left = cx - item(i).Width / 2;
        item(i).Top = cy - item(i).Height / 2;
        form->termMouseUp(i, 1, 0, 5, 5);
    }
    void dropInto(int i, int frame)
    {
        const Control& f = form->frames.at(frame);
        drop(i, f.Left + f.Width / 2, f.Top + f.Height / 2);
    }
    // The item in slot k of frame c, counted from 1; 0 for an empty slot.
    int slot(int c, int k) const { return form->quiz.termsIn(c).value(k, -1) + 1; }
    QStringList plays() const { return players.log.filter(":play"); }
};

} // namespace

TEST(dragging, PressTakesTheItemOutOfItsFrameOnly)
{
    Play p(5);
    for (int i = 0; i < 4; ++i) {
        p.dropInto(i, 0);
    }
    const float below = p.item(3).Top;
    p.form->termMouseDown(2, 2, 0, 12.5F, 7);
    EXPECT_EQ(p.form->quiz.termsIn(0), QList<int>({0, 1, 3}));
    EXPECT_EQ(p.item(3).Top, below) << "the gap closes on the board at the release";
    EXPECT_EQ(p.item(2).BackColor, Colors::White) << "any button picks up";
    EXPECT_TRUE(p.state.dragging);
    EXPECT_FLOAT_EQ(p.state.dragStartX, 12.5F);

    p.form->termMouseDown(4, 1, 0, 0, 0); // an item in no frame
    EXPECT_EQ(p.form->quiz.termsIn(0), QList<int>({0, 1, 3}));
}

TEST(dragging, MovesKeepTheGrabPointUnderThePointer)
{
    Play p;
    const float left = p.item(0).Left;
    const float top = p.item(0).Top;
    p.form->termMouseDown(0, 1, 0, 30, 40);
    p.form->termMouseMove(0, 1, 0, 30, 40);
    EXPECT_FLOAT_EQ(p.item(0).Left, left);
    EXPECT_FLOAT_EQ(p.item(0).Top, top);
    p.form->termMouseMove(0, 1, 0, 75, 40);
    EXPECT_FLOAT_EQ(p.item(0).Left, left + 45);
    EXPECT_FLOAT_EQ(p.item(0).Top, top);
    p.form->termMouseMove(0, 1, 0, 30, -20000); // far off the board is allowed
    EXPECT_FLOAT_EQ(p.item(0).Top, top - 20040);
}

TEST(dragging, NothingHappensWhileTheProblemIsClosed)
{
    Play p;
    p.form->quiz = Quiz(); // as on the series list
    const float left = p.item(0).Left;
    p.form->termMouseDown(0, 1, 0, 0, 0);
    p.form->termMouseMove(0, 1, 0, 300, 300);
    EXPECT_EQ(p.item(0).BackColor, Colors::ButtonFace);
    EXPECT_FALSE(p.state.dragging);
    EXPECT_FLOAT_EQ(p.item(0).Left, left);

    p.state.dragging = true;
    p.form->termMouseUp(0, 1, 0, 0, 0);
    EXPECT_TRUE(p.state.dragging);
    EXPECT_TRUE(p.players.log.isEmpty());
}

TEST(dragging, ASecondButtonDuringADragPlacesTheItemOnce)
{
    // Press one button, press a second, release both: only the release that
    // ends the drag places the item. Placed twice, the one item would fill
    // both slots the problem needs and be "solved".
    Play p(2, "1,1,");
    p.form->termMouseDown(0, 1, 0, 5, 5);
    const Control& f = p.form->frames[0];
    p.item(0).Left = f.Left + 200;
    p.item(0).Top = f.Top + 200;
    p.form->termMouseDown(0, 2, 1, 5, 5);
    p.form->termMouseUp(0, 1, 2, 5, 5);
    p.form->termMouseMove(0, 2, 0, 900, 900);
    p.form->termMouseUp(0, 2, 0, 900, 900);
    EXPECT_EQ(p.slot(0, 0), 1);
    EXPECT_EQ(p.slot(0, 1), 0);
    EXPECT_FLOAT_EQ(p.item(0).Left, f.Left + 120) << "a move after the drag ended moves nothing";
    EXPECT_FALSE(p.state.dragging);
    EXPECT_TRUE(p.form->quiz.open());
    EXPECT_TRUE(p.plays().isEmpty());
    EXPECT_EQ(p.players.log.size(), 4) << "one release was judged";
}

TEST(Dropping, HitTestIsStrictWithABand100TwipsAboveTheTop)
{
    struct Case {
        float cx, cy;
        bool hit;
    };
    const QList<Case> cases = {
        {2000, 4000, true}, {100, 4000, false}, {4100, 4000, false}, {2000, 5835, false},
        {2000, 5834, true}, {2000, 2950, true}, {2000, 2900, false}, {101, 2901, true},
    };
    for (const Case& c : cases) {
        Play p;
        p.drop(0, c.cx, c.cy);
        EXPECT_EQ(p.slot(0, 0) == 1, c.hit) << c.cx << "," << c.cy;
        if (c.hit) {
            EXPECT_FLOAT_EQ(p.item(0).Left, 100 + 120);
            EXPECT_FLOAT_EQ(p.item(0).Top, 3000 + 250);
        }
        EXPECT_EQ(p.players.log.mid(0, 4),
                  (QStringList{"Correct:rewind", "Wrong:rewind", "MoreCorrect:rewind",
                               "NotMoreCorrect:rewind"}));
        EXPECT_EQ(p.item(0).BackColor, Colors::ButtonFace);
        EXPECT_FALSE(p.state.dragging);
    }
}

TEST(Dropping, LowerFrameIndexWinsWhereBandsOverlap)
{
    Play p;
    p.setFrame(1, 3000, 2000, 4000, 2835); // overlaps frame 0 around x 3000..4100
    p.drop(0, 3500, 3500);
    EXPECT_EQ(p.slot(0, 0), 1);
    EXPECT_EQ(p.slot(1, 0), 0);
}

TEST(Dropping, GapClosesWhenAnItemLeavesTheMiddleSlot)
{
    Play p;
    p.dropInto(0, 0);
    p.dropInto(1, 0);
    p.dropInto(2, 1);
    p.dropInto(2, 0);
    ASSERT_EQ(p.slot(0, 2), 3);
    const float H0 = p.item(0).Height;
    p.dropInto(1, 1); // the item of slot 1 moves to frame 1
    EXPECT_EQ(p.slot(1, 0), 2);
    EXPECT_EQ(p.slot(0, 0), 1);
    EXPECT_EQ(p.slot(0, 1), 3);
    EXPECT_EQ(p.slot(0, 2), 0);
    EXPECT_FLOAT_EQ(p.item(2).Top, 3000 + 250 + H0);
    EXPECT_FLOAT_EQ(p.item(1).Left, 4500 + 120);
}

TEST(Dropping, BackOnItsOwnFrameTakesItsOwnSlot)
{
    Play p;
    p.dropInto(0, 0);
    p.dropInto(1, 0);
    p.dropInto(2, 1);
    p.dropInto(2, 0);
    const float top0 = p.item(0).Top;
    const float top2 = p.item(2).Top;
    p.dropInto(1, 0);
    EXPECT_EQ(p.slot(0, 1), 2);
    EXPECT_FLOAT_EQ(p.item(0).Top, top0);
    EXPECT_FLOAT_EQ(p.item(2).Top, top2);
}

TEST(Dropping, TenthItemOnANineSlotFrameIsParked)
{
    Play p(10, QString("1,").repeated(10));
    for (int i = 0; i < 9; ++i) {
        p.dropInto(i, 0);
    }
    EXPECT_EQ(p.slot(0, 8), 9);
    p.dropInto(9, 0);
    EXPECT_EQ(p.slot(0, 9), 0) << "not counted";
    EXPECT_FLOAT_EQ(p.item(9).Top, 3000 - 150 - 285);
    EXPECT_FLOAT_EQ(p.item(9).Left, 100 + 120);
    EXPECT_TRUE(p.plays().isEmpty()) << "not every item is placed";
}

TEST(Dropping, BoardRulesBringALabelBackBeforeTheHitTest)
{
    Play p;
    p.setFrame(0, 0, 720, 4000, 2835);
    // Centre left of the window: moved to Left 0, which lands in frame 0.
    p.drop(0, -50, 2000);
    EXPECT_EQ(p.slot(0, 0), 1);

    Play low;
    low.drop(0, 2000, 7275 - 449);
    EXPECT_FLOAT_EQ(low.item(0).Top, 7275 - 285 - 600);

    Play high;
    high.drop(0, 8000, 100);
    EXPECT_FLOAT_EQ(high.item(0).Top, 720);

    Play right;
    right.drop(0, 9400, 2000);
    EXPECT_FLOAT_EQ(right.item(0).Left, 9450 - right.item(0).Width - 20);
}

TEST(Checking, DropOutsideEveryFrameWithAllOthersPlacedPlaysNothing)
{
    Play p;
    p.dropInto(0, 0);
    p.dropInto(1, 1);
    p.players.clear();
    p.drop(2, 4300, 4000); // between the frames
    EXPECT_EQ(p.players.log, (QStringList{"Correct:rewind", "Wrong:rewind", "MoreCorrect:rewind",
                                          "NotMoreCorrect:rewind"}));
}

TEST(Checking, FeedbackSoundFollowsTheNumberCorrect)
{
    Play p(3, "1,1,1,");
    // All in frame 1: R = 0 first.
    p.dropInto(0, 1);
    p.dropInto(1, 1);
    p.dropInto(2, 1);
    EXPECT_EQ(p.plays(), QStringList{"Wrong:play"});
    EXPECT_EQ(p.form->quiz.previousRight(), 0);
    p.players.clear();
    p.dropInto(0, 0); // R = 1, previous 0: the wrong-answer sound again
    EXPECT_EQ(p.plays(), QStringList{"Wrong:play"});
    EXPECT_EQ(p.form->quiz.previousRight(), 1);
    EXPECT_EQ(p.item(0).BackColor, 0x80FFFFU) << "correct items take their group colour";
    EXPECT_EQ(p.item(1).BackColor, Colors::ButtonFace);
    p.players.clear();
    p.dropInto(1, 0); // R = 2 > 1: more correct
    EXPECT_EQ(p.plays(), QStringList{"MoreCorrect:play"});
    p.players.clear();
    p.dropInto(1, 1); // R = 1: not more
    EXPECT_EQ(p.plays(), QStringList{"NotMoreCorrect:play"});
    p.players.clear();
    p.dropInto(0, 1); // R = 0: not more, and the count drops to 0
    EXPECT_EQ(p.plays(), QStringList{"NotMoreCorrect:play"});
    EXPECT_EQ(p.form->quiz.previousRight(), 0);
    p.players.clear();
    p.dropInto(0, 1); // R = 0 again: the wrong-answer sound
    EXPECT_EQ(p.plays(), QStringList{"Wrong:play"});
    // Each play follows its rewind within the same release.
    EXPECT_EQ(p.players.log, (QStringList{"Correct:rewind", "Wrong:rewind", "MoreCorrect:rewind",
                                          "NotMoreCorrect:rewind", "Wrong:play"}));
}

TEST(Checking, SolvingShowsTheResultPanelForFirstMiddleAndLastProblem)
{
    struct Case {
        int problem;
        QString explanation;
        int markedMode;
        QString message;
        bool next, previous, explain;
        QString markCaption;
    };
    const QList<Case> cases = {
        {1, QStringLiteral("説明"), 0, QStringLiteral("正解です。次の問題へ進みますか？"), true,
         false, true, QStringLiteral("マークをつける")},
        {2, QString(), 1, QStringLiteral("正解です。次の問題へ進みますか？"), true, true, false,
         QStringLiteral("マーク取消")},
        {3, QStringLiteral("説明"), 0, QStringLiteral("正解です。このシリーズは終わりです"), false,
         true, true, QStringLiteral("マークをつける")},
    };
    for (const Case& c : cases) {
        Play p(3, "1,2,1,", c.problem, 3, c.explanation);
        p.state.markedSeries = c.markedMode;
        p.form->quiz = Quiz(p.state.problems.at(c.problem), 2);
        p.dropInto(0, 0);
        p.dropInto(1, 1);
        p.dropInto(2, 0);
        EXPECT_EQ(p.plays(), QStringList{"Correct:play"});
        EXPECT_EQ(p.form->resultMessage.Caption(), c.message);
        EXPECT_TRUE(p.form->resultMessage.Visible);
        EXPECT_TRUE(p.form->resultPanel.Visible);
        EXPECT_EQ(p.form->resultButtons[ResultButton::Next].Visible, c.next) << c.problem;
        EXPECT_TRUE(p.form->resultButtons[ResultButton::Retry].Visible);
        EXPECT_TRUE(p.form->resultButtons[ResultButton::ToList].Visible);
        EXPECT_EQ(p.form->resultButtons[ResultButton::Previous].Visible, c.previous) << c.problem;
        EXPECT_EQ(p.form->resultButtons[ResultButton::Explanation].Visible, c.explain) << c.problem;
        EXPECT_TRUE(p.form->resultButtons[ResultButton::Mark].Visible);
        EXPECT_EQ(p.form->resultButtons[ResultButton::Mark].Caption(), c.markCaption);
        EXPECT_FALSE(p.form->arrows[Arrow::Next].Visible);
        EXPECT_FALSE(p.form->arrows[Arrow::Previous].Visible);
        EXPECT_FALSE(p.form->quiz.open());
        EXPECT_EQ(p.form->quiz.previousRight(), 2) << "solving leaves the count alone";
        EXPECT_EQ(p.item(1).BackColor, 0x80FF80U);

        // Solved: presses are ignored and the colours stay.
        p.form->termMouseDown(1, 1, 0, 0, 0);
        EXPECT_EQ(p.item(1).BackColor, 0x80FF80U);
    }
}
