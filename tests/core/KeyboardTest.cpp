#include "support/Fakes.h"

#include <QSet>

#include <gtest/gtest.h>

namespace
{

// Problem 1 of 2 on the board: five terms in three frames laid out by
// showProblem itself.
struct Board : Harness {
    Board()
    {
        for (int n = 1; n <= 2; ++n) {
            setRow(n, QStringLiteral("問題%1 q").arg(n),
                   QStringLiteral("ウニ,イカ,シダ,ヒトデ,タコのなかま,"),
                   QStringLiteral("棘皮動物,軟体動物,植物,"), QStringLiteral("1,2,3,1,2,"),
                   QStringLiteral("説明"));
        }
        state.problemCount = 2;
        state.currentProblem = 1;
        form->showProblem(1);
        players.clear();
    }
    Control& label(int i) { return form->terms.at(i); }
    // The drop a mouse user makes: the label over the first empty slot of
    // the frame.
    void mouseDrop(int i, int frame)
    {
        const int k = form->quiz.slotFor(i, frame);
        const Control& f = form->frames.at(frame);
        session->putAt(i, f.Left + 120, f.Top + 250 + static_cast<float>(k) * label(0).Height);
    }
    // Everything a drop can change, as text.
    QStringList snapshot() const
    {
        QStringList s;
        for (const Control& l : form->terms) {
            s << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(l.displayName())
                     .arg(l.Left)
                     .arg(l.Top)
                     .arg(l.BackColor, 0, 16)
                     .arg(l.Visible);
        }
        for (int c = 0; c < form->quiz.frames(); ++c) {
            QStringList row;
            for (int v : form->quiz.termsIn(c)) {
                row << QString::number(v);
            }
            s << row.join(',');
        }
        s << QStringLiteral("open %1 last %2")
                 .arg(form->quiz.open())
                 .arg(form->quiz.previousRight());
        for (const Control* c :
             {&form->resultMessage, &form->resultPanel, &form->arrows[Arrow::Next],
              &form->arrows[Arrow::Previous], &form->resultButtons[ResultButton::Next],
              &form->resultButtons[ResultButton::Retry], &form->resultButtons[ResultButton::ToList],
              &form->resultButtons[ResultButton::Previous],
              &form->resultButtons[ResultButton::Explanation],
              &form->resultButtons[ResultButton::Mark]}) {
            s << QStringLiteral("%1 %2 %3").arg(c->displayName(), c->Caption()).arg(c->Visible);
        }
        s << players.log;
        return s;
    }
};

} // namespace

TEST(Keyboard, PuttingInAFrameLeavesTheStateOfADropAtItsFirstEmptySlot)
{
    // (term, frame): into empty frames, out of the middle of a frame, back
    // into its own frame, a wrong complete answer, then the solving one.
    const QList<std::pair<int, int>> drops = {{0, 1}, {3, 0}, {1, 1}, {0, 0},
                                              {3, 0}, {2, 2}, {4, 2}, {4, 1}};
    Board keys;
    Board mouse;
    for (const auto& [i, frame] : drops) {
        EXPECT_FALSE(keys.session->putIn(i, frame).refusal);
        mouse.mouseDrop(i, frame);
        ASSERT_EQ(keys.snapshot(), mouse.snapshot()) << "term " << i << " into " << frame;
    }
    EXPECT_FALSE(keys.form->quiz.open()) << "solved";
    EXPECT_EQ(keys.players.log.filter(":play"), (QStringList{"Wrong:play", "Correct:play"}));
    EXPECT_EQ(keys.form->focusRequest, &keys.form->resultButtons[ResultButton::Next]);
    EXPECT_EQ(mouse.form->focusRequest, &mouse.form->resultButtons[ResultButton::Next])
        << "the mouse solves alike";
}

TEST(Keyboard, CarryingMovesAHighlightAndPuttingBackRestoresTheTerm)
{
    Board b;
    b.session->putIn(1, 2);
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[2]) << "the next term in no frame";
    b.session->putIn(4, 0);
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[0]) << "the search wraps";
    b.session->putIn(0, 0);
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[2]);
    b.label(0).BackColor = 0x80FFFF; // as a check leaves a correct term
    const QStringList before = b.snapshot();

    // Term 0 lies in frame 0: the highlight starts there.
    b.session->pickUp(0);
    EXPECT_EQ(b.label(0).BackColor, Colors::White);
    EXPECT_EQ(b.form->carry.frame, 0);
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[0]);
    b.session->carry(Direction::Right);
    EXPECT_EQ(b.form->carry.frame, 1);
    b.session->carry(Direction::Right);
    b.session->carry(Direction::Right);
    EXPECT_EQ(b.form->carry.frame, 0) << "past the last frame to the first";
    b.session->carry(Direction::Left);
    EXPECT_EQ(b.form->carry.frame, 2);
    b.session->carry(Direction::Up);
    EXPECT_EQ(b.form->carry.frame, 2) << "a single row: nothing above";
    b.session->putBack();
    EXPECT_EQ(b.snapshot(), before) << "put back, colour and all";
    EXPECT_EQ(b.session.get().carried(), -1);

    // Picked up, carried to frame 1 and put down: put into frame 1.
    Board twin;
    twin.session->putIn(1, 2);
    twin.session->putIn(4, 0);
    twin.session->putIn(0, 0);
    twin.label(0).BackColor = 0x80FFFF;
    twin.session->putIn(0, 1);
    b.session->pickUp(0);
    b.session->carry(Direction::Right);
    b.session->putDown();
    EXPECT_EQ(b.snapshot(), twin.snapshot());

    // Another term picked up takes over; a new problem forgets it.
    b.session->pickUp(2);
    b.session->pickUp(3);
    EXPECT_EQ(b.session.get().carried(), 3);
    EXPECT_NE(b.label(2).BackColor, Colors::White);
    b.form->showProblem(1);
    EXPECT_EQ(b.session.get().carried(), -1);
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[0]);
}

TEST(Keyboard, CarryingFollowsTheFramesOfATwoRowGrid)
{
    Board b;
    b.setRow(1, QStringLiteral("問題1 q"), QStringLiteral("a,b,"),
             QStringLiteral("g1,g2,g3,g4,g5,g6,"), QStringLiteral("1,2,"));
    b.form->showProblem(1);
    ASSERT_EQ(b.form->quiz.frames(), 6);
    b.session->pickUp(0);
    // The last row: Right and Left wrap between the last frame and the first.
    using D = Direction;
    const QList<std::pair<Direction, int>> moves = {
        {D::Down, 3}, {D::Right, 4}, {D::Up, 1},    {D::Right, 2}, {D::Right, 3}, {D::Left, 2},
        {D::Down, 5}, {D::Down, 5},  {D::Right, 0}, {D::Left, 5},  {D::Left, 4},  {D::Right, 5},
    };
    for (const auto& [way, frame] : moves) {
        b.session->carry(way);
        EXPECT_EQ(b.form->carry.frame, frame) << static_cast<int>(way);
    }

    // Five frames: the second row is one frame short.
    b.setRow(1, QStringLiteral("問題1 q"), QStringLiteral("a,b,"),
             QStringLiteral("g1,g2,g3,g4,g5,"), QStringLiteral("1,2,"));
    b.form->showProblem(1);
    ASSERT_EQ(b.form->quiz.frames(), 5);
    b.session->pickUp(0);
    for (const int frame : {1, 2, 3, 4, 0}) {
        b.session->carry(D::Right);
        EXPECT_EQ(b.form->carry.frame, frame) << "right to " << frame;
    }
    b.session->carry(D::Left);
    EXPECT_EQ(b.form->carry.frame, 4) << "left from the first frame to the last";
}

TEST(Keyboard, PuttingInFramesSolvesAProblemOfEveryFrameLayout)
{
    const QString wide = QString(90, QChar(0x3042));   // wider than a quarter of the window
    const QString wider = QString(170, QChar(0x3044)); // wider than half of it
    struct Layout {
        const char* name;
        QString terms, groups, answers;
        int rows;
    };
    const QList<Layout> layouts = {
        {"stacked pair", "a," + wider + ",b,c,", "g1,g2,", "1,2,2,1,", 2},
        {"two-by-two grid", "a," + wide + ",b,c,d,", "g1,g2,g3,g4,", "4,3,2,1,4,", 2},
        {"single row", "a,b,c,d,e,", "g1,g2,g3,", "3,1,2,3,1,", 1},
        {"two-row grid", "a,b,c,d,e,f,g,", "g1,g2,g3,g4,g5,g6,", "6,5,4,3,2,1,6,", 2},
    };
    for (const Layout& l : layouts) {
        Board b;
        b.setRow(1, QStringLiteral("問題1 q"), l.terms, l.groups, l.answers);
        b.form->showProblem(1);
        QSet<float> tops;
        for (int c = 0; c < b.form->quiz.frames(); ++c) {
            tops.insert(b.form->frames.at(c).Top);
        }
        ASSERT_EQ(tops.size(), l.rows) << l.name;
        const QStringList answers = l.answers.split(',', Qt::SkipEmptyParts);
        for (int i = 0; i < answers.size(); ++i) {
            EXPECT_TRUE(b.form->quiz.open()) << l.name;
            EXPECT_FALSE(b.session->putIn(i, answers[i].toInt() - 1).refusal) << l.name;
        }
        EXPECT_FALSE(b.form->quiz.open()) << l.name << ": solved";
    }
}
