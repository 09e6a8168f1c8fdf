#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace
{

// A problem on the board with two frames at known places:
// frame 0 at (100, 3000), frame 1 at (4500, 3000), both 4000 x 2835.
struct Play : Harness {
    explicit Play(int terms = 3, const QString& answers = "1,2,1,", int problem = 1,
                  int problems = 3, const QString& explanation = QStringLiteral("説明"))
    {
        QString list;
        for (int i = 0; i < terms; ++i) {
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
    Control& label(int i) { return form->terms.at(i); }
    // Puts term i on the board with its centre at (cx, cy).
    void drop(int i, float cx, float cy)
    {
        session->putAt(i, cx - label(i).Width / 2, cy - label(i).Height / 2);
    }
    void dropInto(int i, int frame)
    {
        const Control& f = form->frames.at(frame);
        drop(i, f.Left + f.Width / 2, f.Top + f.Height / 2);
    }
    // The term in slot k of frame c, counted from 1; 0 for an empty slot.
    int slot(int c, int k) const { return form->quiz.termsIn(c).value(k, -1) + 1; }
    QStringList plays() const { return players.log.filter(":play"); }
};

} // namespace

TEST(Dropping, NothingMovesWhileTheProblemIsClosed)
{
    Play p;
    p.form->quiz = Quiz(); // as on the series list
    const float left = p.label(0).Left;
    EXPECT_TRUE(p.session->putAt(0, 300, 300).refusal);
    EXPECT_TRUE(p.session->pickUp(0).refusal);
    EXPECT_EQ(p.label(0).BackColor, Colors::ButtonFace);
    EXPECT_FLOAT_EQ(p.label(0).Left, left);
    EXPECT_TRUE(p.players.log.isEmpty());
}

TEST(Dropping, AReleaseInAFrameLandsInItsSlotAndOneBesideItStaysPut)
{
    // Where frames begin and end is the layout's; here, that the release asks it.
    for (const bool hit : {true, false}) {
        Play p;
        p.drop(0, 2000, hit ? 2950 : 2900);
        EXPECT_EQ(p.slot(0, 0) == 1, hit);
        EXPECT_FLOAT_EQ(p.label(0).Left, hit ? 100 + 120 : 2000 - p.label(0).Width / 2);
        EXPECT_FLOAT_EQ(p.label(0).Top, hit ? 3000 + 250 : 2900 - p.label(0).Height / 2);
        EXPECT_EQ(p.players.log.mid(0, 4),
                  (QStringList{"Correct:rewind", "Wrong:rewind", "MoreCorrect:rewind",
                               "NotMoreCorrect:rewind"}));
        EXPECT_EQ(p.label(0).BackColor, Colors::ButtonFace);
    }
}

TEST(Dropping, GapClosesWhenATermLeavesTheMiddleSlot)
{
    Play p;
    p.dropInto(0, 0);
    p.dropInto(1, 0);
    p.dropInto(2, 1);
    p.dropInto(2, 0);
    const float H0 = p.label(0).Height;
    EXPECT_FLOAT_EQ(p.label(2).Top, 3000 + 250 + 2 * H0);
    p.dropInto(1, 1); // the term of slot 1 moves to frame 1
    EXPECT_FLOAT_EQ(p.label(0).Top, 3000 + 250);
    EXPECT_FLOAT_EQ(p.label(2).Top, 3000 + 250 + H0);
    EXPECT_FLOAT_EQ(p.label(1).Left, 4500 + 120);
}

TEST(Dropping, AnItemAFullFrameHasNoRoomForIsParkedAboveTheFrames)
{
    Play p(2, "1,1,");
    p.setFrame(0, 100, 3000, 4000, 500); // room for one
    p.dropInto(0, 0);
    p.dropInto(1, 0);
    EXPECT_EQ(p.form->quiz.termsIn(0), QList<int>({0})) << "not counted";
    EXPECT_FLOAT_EQ(p.label(1).Top, 3000 - 150 - 285);
    EXPECT_FLOAT_EQ(p.label(1).Left, 100 + 120);
    EXPECT_TRUE(p.plays().isEmpty()) << "not every term is placed";
}

TEST(Dropping, ALabelOffTheBoardIsBroughtBackBeforeTheHitTest)
{
    Play p;
    p.setFrame(0, 0, 720, 4000, 2835);
    // Centre left of the window: moved to Left 0, which lands in frame 0.
    p.drop(0, -50, 2000);
    EXPECT_EQ(p.slot(0, 0), 1);

    Play high;
    high.drop(0, 8000, 100);
    EXPECT_FLOAT_EQ(high.label(0).Top, 720) << "where it is let go when in no frame";
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

TEST(Checking, FeedbackSoundFollowsTheCheck)
{
    Play p(3, "1,1,1,");
    p.dropInto(0, 1);
    p.dropInto(1, 1);
    p.dropInto(2, 1);
    EXPECT_EQ(p.plays(), QStringList{"Wrong:play"});
    struct Drop {
        int term, frame;
        QString sound;
    };
    const QList<Drop> drops = {
        {0, 0, "Wrong:play"},          // one right, none before
        {1, 0, "MoreCorrect:play"},    // two
        {1, 1, "NotMoreCorrect:play"}, // fewer
        {2, 1, "NotMoreCorrect:play"}, // the same
    };
    for (const Drop& d : drops) {
        p.players.clear();
        p.dropInto(d.term, d.frame);
        EXPECT_EQ(p.plays(), QStringList{d.sound}) << d.term << " into " << d.frame;
    }
    EXPECT_EQ(p.label(0).BackColor, 0x80FFFFU) << "right terms take their group colour";
    EXPECT_EQ(p.label(1).BackColor, Colors::ButtonFace);
    // The play follows its rewind within the same release.
    EXPECT_EQ(p.players.log, (QStringList{"Correct:rewind", "Wrong:rewind", "MoreCorrect:rewind",
                                          "NotMoreCorrect:rewind", "NotMoreCorrect:play"}));
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
        EXPECT_EQ(p.label(1).BackColor, 0x80FF80U);

        // Solved: no term moves, and the colours stay.
        EXPECT_TRUE(p.session->pickUp(1).refusal);
        EXPECT_EQ(p.label(1).BackColor, 0x80FF80U);
    }
}
