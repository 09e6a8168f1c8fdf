#include "quiz/Quiz.h"
#include "layout/BoardLayout.h"

#include <gtest/gtest.h>

namespace
{

// `answers` holds each term's group, 1-based; 0 for a term without one.
Problem problem(const QList<int>& answers, int groups = 2)
{
    Problem p;
    p.terms = QStringList(answers.size(), "t");
    p.groups = QStringList(groups, "g");
    p.groupOfTerm = answers;
    return p;
}

using Outcome = Quiz::Outcome;

// Takes a term out of its frame and puts it into `frame`, as a drop does.
Quiz::Check move(Quiz& q, int term, int frame)
{
    q.takeBack(term);
    q.place(term, frame);
    return q.check();
}

// Two frames 2835 high, with 285-high terms: nine slots each.
BoardLayout board()
{
    BoardLayout b;
    b.outerWidth = 9450;
    b.outerHeight = 7275;
    b.termHeight = 285;
    b.frames = {{100, 3000, 4000, 2835}, {4500, 3000, 4000, 2835}};
    return b;
}

} // namespace

TEST(Quiz, TermsFillAFrameDownwardsAndOnlyTheOneTakenOutGoesBackInPlace)
{
    Quiz q(problem({1, 1, 2, 1}));
    EXPECT_EQ(q.place(0, 0), 0);
    EXPECT_EQ(q.place(1, 0), 1);
    EXPECT_EQ(q.place(2, 0), 2);
    EXPECT_EQ(q.frameOf(2), 0);
    EXPECT_EQ(q.frameOf(3), -1);
    q.takeBack(3); // lies in no frame: nothing moves
    EXPECT_EQ(q.termsIn(0), QList<int>({0, 1, 2}));

    q.takeBack(1);
    EXPECT_EQ(q.termsIn(0), QList<int>({0, 2})) << "the gap closes";
    EXPECT_EQ(q.slotFor(1, 0), 1) << "straight back: its own slot";
    EXPECT_EQ(q.slotFor(3, 0), 2) << "any other term: below the last";
    EXPECT_EQ(q.slotFor(1, 1), 0);
    EXPECT_EQ(q.place(1, 0), 1);
    EXPECT_EQ(q.termsIn(0), QList<int>({0, 1, 2}));

    q.takeBack(0);
    q.place(0, 1);
    q.takeBack(0); // lifted out of frame 1, then dropped on frame 0
    EXPECT_EQ(q.place(0, 0), 2);
    EXPECT_EQ(q.termsIn(0), QList<int>({1, 2, 0}));
    EXPECT_TRUE(q.termsIn(1).isEmpty());

    EXPECT_FALSE(q.allPlaced());
    EXPECT_EQ(q.place(3, 2), -1) << "no third frame";
    EXPECT_EQ(q.place(4, 0), -1) << "no fifth term";
    q.place(3, 1);
    EXPECT_TRUE(q.allPlaced());
    EXPECT_EQ(Quiz().place(0, 0), -1) << "an empty quiz takes no answers";
}

TEST(Quiz, AWrongAnswerIsComparedWithThePreviousOne)
{
    Quiz q(problem({1, 1, 1}));
    for (int i = 0; i < 3; ++i) {
        q.place(i, 1);
    }
    const QList<std::pair<int, int>> moves = {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {0, 1}, {2, 1}};
    EXPECT_EQ(q.check().outcome, Outcome::Wrong);
    // The first: the one before found no right term.
    const QList<std::pair<Outcome, int>> expected = {
        {Outcome::Wrong, 1},     {Outcome::MoreRight, 2},  {Outcome::FewerRight, 1},
        {Outcome::SameRight, 1}, {Outcome::FewerRight, 0}, {Outcome::Wrong, 0},
    };
    for (qsizetype k = 0; k < moves.size(); ++k) {
        const Quiz::Check c = move(q, moves[k].first, moves[k].second);
        EXPECT_EQ(c.outcome, expected[k].first) << k;
        EXPECT_EQ(c.right, expected[k].second) << k;
        EXPECT_EQ(q.previousRight(), c.right) << k;
    }
    const Quiz::Check last = move(q, 0, 0);
    EXPECT_TRUE(last.isRight[0]);
    EXPECT_FALSE(last.isRight[1]);

    // Carried over from the problem before, until forgotten.
    Quiz carried(problem({1, 2}), 2);
    carried.place(0, 0);
    carried.place(1, 0);
    EXPECT_EQ(carried.check().outcome, Outcome::FewerRight);
    EXPECT_EQ(carried.check().outcome, Outcome::SameRight);
    carried.forgetChecks();
    EXPECT_EQ(carried.check().outcome, Outcome::Wrong);
    EXPECT_EQ(carried.previousRight(), 1);
}

TEST(Quiz, SolvingClosesTheQuizAndLeavesTheCountAlone)
{
    Quiz q(problem({1, 2, 1}), 2);
    q.place(0, 0);
    q.place(1, 1);
    q.place(2, 0);
    const Quiz::Check solved = q.check();
    EXPECT_EQ(solved.right, 3);
    EXPECT_EQ(solved.outcome, Outcome::Solved);
    EXPECT_FALSE(q.open());
    EXPECT_EQ(q.previousRight(), 2);
    EXPECT_EQ(q.place(2, 1), -1) << "a solved quiz takes no answers";
    EXPECT_EQ(q.frameOf(2), 0);
}

TEST(Quiz, LeavesOutWhatTheBoardHasNoRoomForAndATermWithoutAnAnswerIsNeverRight)
{
    const Quiz big(problem(QList<int>(30, 7), 9));
    EXPECT_EQ(big.terms(), Quiz::MaxTerms);
    EXPECT_EQ(big.frames(), Quiz::MaxFrames);
    EXPECT_EQ(big.answerOf(20), 6);
    EXPECT_EQ(big.answerOf(21), -1);

    // The second term has no answer, the third none written at all.
    Problem p = problem({1, 0, 1});
    p.groupOfTerm.removeLast();
    for (int frame = 0; frame < 2; ++frame) {
        Quiz q(p);
        for (int i = 0; i < 3; ++i) {
            q.place(i, frame);
        }
        const Quiz::Check c = q.check();
        EXPECT_FALSE(c.isRight[1]) << frame;
        EXPECT_FALSE(c.isRight[2]) << frame;
        EXPECT_NE(c.outcome, Outcome::Solved) << frame;
        EXPECT_TRUE(q.open()) << frame;
    }
}

TEST(BoardLayout, AFrameHoldsTheSlotsWhoseMiddleStaysInsideIt)
{
    BoardLayout b = board();
    EXPECT_EQ(b.roomIn(0), 9);
    EXPECT_FALSE(b.fits(0, 9));
    EXPECT_FLOAT_EQ(b.parkTop(), 3000 - 150 - 285);
    const Box s = b.slot(1, 2, 700);
    EXPECT_EQ(s, (Box{4500 + 120, 3000 + 250 + 2 * 285, 700, 285}));

    // The ninth slot's middle exactly on the bottom edge still shows.
    b.frames[0].height = 250 + 8 * 285 + 142.5F;
    EXPECT_TRUE(b.fits(0, 8));
    EXPECT_EQ(b.roomIn(0), 9);
    b.frames[0].height -= 0.25F;
    EXPECT_FALSE(b.fits(0, 8));
    EXPECT_EQ(b.roomIn(0), 8);
}

TEST(BoardLayout, ADropFallsIntoTheFirstFrameUnderItsCentreOrABand100TwipsAbove)
{
    struct Case {
        float cx, cy;
        int frame;
    };
    // Frame 0 spans 100..4100 across and 3000..5835 down, strictly.
    const QList<Case> cases = {
        {2000, 4000, 0}, {100, 4000, -1},  {4100, 4000, -1}, {2000, 5835, -1}, {2000, 5834, 0},
        {2000, 2950, 0}, {2000, 2900, -1}, {101, 2901, 0},   {4300, 4000, -1}, {6000, 4000, 1},
    };
    BoardLayout b = board();
    for (const Case& c : cases) {
        EXPECT_EQ(b.frameAt({c.cx - 50, c.cy - 20, 100, 40}), c.frame) << c.cx << "," << c.cy;
    }
    b.frames[1] = {3000, 2000, 4000, 2835}; // overlaps frame 0 around x 3000..4100
    EXPECT_EQ(b.frameAt({3450, 3480, 100, 40}), 0) << "the lower frame wins";
}

TEST(BoardLayout, ATermLetGoOffTheBoardComesBackOverEachEdge)
{
    const BoardLayout b = board();
    // A term 1000 x 285 at (left, top), and where it is kept.
    struct Case {
        float left, top, keptLeft, keptTop;
    };
    // Each edge's threshold on the term's centre: 0, W - 100, H - 450, 700.
    const QList<Case> cases = {
        {-600, 2000, 0, 2000},    {-500, 2000, -500, 2000},   {8851, 2000, 9450 - 1000 - 20, 2000},
        {8850, 2000, 8850, 2000}, {2000, 6683, 2000, 6390},   {2000, 6682.5, 2000, 6682.5},
        {2000, 557, 2000, 720},   {2000, 557.5, 2000, 557.5}, {-9000, -9000, 0, 720},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(b.keptOnBoard({c.left, c.top, 1000, 285}),
                  (Box{c.keptLeft, c.keptTop, 1000, 285}))
            << c.left << "," << c.top;
    }
}
