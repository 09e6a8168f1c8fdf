#include "support/Fakes.h"

#include <QSet>

#include <gtest/gtest.h>

namespace
{

// Problem 1 of 2 on the board: five items in three frames laid out by
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
    bool key(int i, int code)
    {
        bool used = false;
        form->termKey(i, code, 0, &used);
        return used;
    }
    // The drop a mouse user makes: grab the label at its centre, carry it
    // until its centre is over the first empty slot of the frame, let go.
    void mouseDrop(int i, int frame)
    {
        const float gx = label(i).Width / 2;
        const float gy = label(i).Height / 2;
        form->lift(i, gx, gy);
        const int k = form->quiz.slotFor(i, frame);
        const Control& f = form->frames.at(frame);
        const float cx = f.Left + 120 + label(i).Width / 2;
        const float cy = f.Top + 250 + static_cast<float>(k) * label(0).Height + label(i).Height / 2;
        const float x = gx + cx - (label(i).Left + gx);
        const float y = gy + cy - (label(i).Top + gy);
        form->drag(i, x, y);
        form->letGo(i);
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
        s << QStringLiteral("open %1 dragging %2 last %3")
                 .arg(form->quiz.open())
                 .arg(state.dragging)
                 .arg(form->quiz.previousRight());
        for (const Control* c :
             {&form->resultMessage, &form->resultPanel, &form->arrows[Arrow::Next], &form->arrows[Arrow::Previous],
              &form->resultButtons[ResultButton::Next], &form->resultButtons[ResultButton::Retry], &form->resultButtons[ResultButton::ToList], &form->resultButtons[ResultButton::Previous],
              &form->resultButtons[ResultButton::Explanation], &form->resultButtons[ResultButton::Mark]}) {
            s << QStringLiteral("%1 %2 %3").arg(c->displayName(), c->Caption()).arg(c->Visible);
        }
        s << players.log;
        return s;
    }
};

constexpr int Key1 = TermKeys::Digit1;

} // namespace

TEST(Keyboard, DigitDropLeavesTheStateOfAMouseDropAtTheFirstEmptySlot)
{
    // (item, frame): into empty frames, out of the middle of a frame, back
    // into its own frame, a wrong complete answer, then the solving drop.
    const QList<std::pair<int, int>> drops = {{0, 1}, {3, 0}, {1, 1}, {0, 0},
                                              {3, 0}, {2, 2}, {4, 2}, {4, 1}};
    Board keys;
    Board mouse;
    for (const auto& [i, frame] : drops) {
        // Main row for some, keypad for others.
        const int code = (i % 2 == 0 ? TermKeys::Digit1 : TermKeys::Numpad1) + frame;
        EXPECT_TRUE(keys.key(i, code));
        mouse.mouseDrop(i, frame);
        ASSERT_EQ(keys.snapshot(), mouse.snapshot()) << "item " << i << " into " << frame;
    }
    EXPECT_FALSE(keys.form->quiz.open()) << "solved";
    EXPECT_EQ(keys.players.log.filter(":play"), (QStringList{"Wrong:play", "Correct:play"}));
    EXPECT_EQ(keys.form->focusRequest, &keys.form->resultButtons[ResultButton::Next]);
    EXPECT_EQ(mouse.form->focusRequest, &mouse.form->resultButtons[ResultButton::Next]) << "the mouse solves alike";
}

TEST(Keyboard, DigitsBeyondTheFramesAndKeysDuringAMouseDragDoNothing)
{
    Board b;
    const QStringList before = b.snapshot();
    EXPECT_TRUE(b.key(0, Key1 + 3)) << "\"4\" with three frames is taken, and ignored";
    EXPECT_TRUE(b.key(0, TermKeys::Numpad1 + 5));
    bool used = true;
    b.form->termKey(0, Key1, 1, &used);
    EXPECT_FALSE(used) << "Shift+1 is no digit";
    EXPECT_FALSE(b.key(0, 'A'));
    EXPECT_EQ(b.snapshot(), before);

    b.form->lift(1, 5, 5);
    EXPECT_FALSE(b.key(2, Key1));
    EXPECT_FALSE(b.key(2, TermKeys::Space));
    EXPECT_TRUE(b.form->quiz.termsIn(0).isEmpty());
    EXPECT_NE(b.label(2).BackColor, Colors::White);
}

TEST(Keyboard, CarryingMovesAHighlightAndEscapePutsTheItemBack)
{
    Board b;
    EXPECT_TRUE(b.key(1, Key1 + 2));
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[2]) << "the next item in no frame";
    EXPECT_TRUE(b.key(4, Key1));
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[0]) << "the search wraps";
    EXPECT_TRUE(b.key(0, Key1));
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[2]);
    b.label(0).BackColor = 0x80FFFF; // as a check leaves a correct item
    const QStringList before = b.snapshot();

    // Item 0 lies in frame 0: the highlight starts there.
    EXPECT_TRUE(b.key(0, TermKeys::Space));
    EXPECT_EQ(b.label(0).BackColor, Colors::White);
    EXPECT_EQ(b.form->carry.frame, 0);
    EXPECT_TRUE(b.key(0, TermKeys::Right));
    EXPECT_EQ(b.form->carry.frame, 1);
    EXPECT_TRUE(b.key(0, TermKeys::Right));
    EXPECT_TRUE(b.key(0, TermKeys::Right));
    EXPECT_EQ(b.form->carry.frame, 0) << "past the last frame to the first";
    EXPECT_TRUE(b.key(0, TermKeys::Left));
    EXPECT_EQ(b.form->carry.frame, 2);
    EXPECT_TRUE(b.key(0, TermKeys::Up)) << "a single row: nothing above";
    EXPECT_EQ(b.form->carry.frame, 2);
    EXPECT_TRUE(b.key(0, TermKeys::Escape));
    EXPECT_EQ(b.snapshot(), before) << "put back, colour and all";
    EXPECT_EQ(b.form->carry.term, -1);

    // Picked up, carried to frame 1 and put down: the digit "2" drop.
    Board twin;
    twin.key(1, Key1 + 2);
    twin.key(4, Key1);
    twin.key(0, Key1);
    twin.label(0).BackColor = 0x80FFFF;
    twin.key(0, Key1 + 1);
    b.key(0, TermKeys::Enter);
    b.key(0, TermKeys::Right);
    b.key(0, TermKeys::Space);
    EXPECT_EQ(b.snapshot(), twin.snapshot());

    // A mouse press ends a carry first; a new problem forgets it.
    b.key(2, TermKeys::Space);
    b.form->lift(3, 5, 5);
    EXPECT_EQ(b.form->carry.term, -1);
    EXPECT_NE(b.label(2).BackColor, Colors::White);
    b.form->letGo(3);
    b.key(2, TermKeys::Space);
    b.form->showProblem(1);
    EXPECT_EQ(b.form->carry.term, -1);
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[0]);
}

TEST(Keyboard, ArrowsFollowTheFramesOfATwoRowGrid)
{
    Board b;
    b.setRow(1, QStringLiteral("問題1 q"), QStringLiteral("a,b,"),
             QStringLiteral("g1,g2,g3,g4,g5,g6,"), QStringLiteral("1,2,"));
    b.form->showProblem(1);
    ASSERT_EQ(b.form->quiz.frames(), 6);
    b.key(0, TermKeys::Space);
    // The last row: Right and Left wrap between the last frame and the first.
    const QList<std::pair<int, int>> moves = {
        {TermKeys::Down, 3},  {TermKeys::Right, 4}, {TermKeys::Up, 1},   {TermKeys::Right, 2},
        {TermKeys::Right, 3}, {TermKeys::Left, 2},  {TermKeys::Down, 5}, {TermKeys::Down, 5},
        {TermKeys::Right, 0}, {TermKeys::Left, 5},  {TermKeys::Left, 4}, {TermKeys::Right, 5},
    };
    for (const auto& [key, frame] : moves) {
        b.key(0, key);
        EXPECT_EQ(b.form->carry.frame, frame) << key;
    }

    // Five frames: the second row is one frame short.
    b.setRow(1, QStringLiteral("問題1 q"), QStringLiteral("a,b,"),
             QStringLiteral("g1,g2,g3,g4,g5,"), QStringLiteral("1,2,"));
    b.form->showProblem(1);
    ASSERT_EQ(b.form->quiz.frames(), 5);
    b.key(0, TermKeys::Space);
    for (const int frame : {1, 2, 3, 4, 0}) {
        b.key(0, TermKeys::Right);
        EXPECT_EQ(b.form->carry.frame, frame) << "right to " << frame;
    }
    b.key(0, TermKeys::Left);
    EXPECT_EQ(b.form->carry.frame, 4) << "left from the first frame to the last";
}

TEST(Keyboard, DigitsSolveAProblemOfEveryFrameLayout)
{
    const QString wide = QString(90, QChar(0x3042));   // wider than a quarter of the window
    const QString wider = QString(170, QChar(0x3044)); // wider than half of it
    struct Layout {
        const char* name;
        QString items, groups, answers;
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
        b.setRow(1, QStringLiteral("問題1 q"), l.items, l.groups, l.answers);
        b.form->showProblem(1);
        QSet<float> tops;
        for (int c = 0; c < b.form->quiz.frames(); ++c) {
            tops.insert(b.form->frames.at(c).Top);
        }
        ASSERT_EQ(tops.size(), l.rows) << l.name;
        const QStringList answers = l.answers.split(',', Qt::SkipEmptyParts);
        for (int i = 0; i < answers.size(); ++i) {
            EXPECT_TRUE(b.form->quiz.open()) << l.name;
            EXPECT_TRUE(b.key(i, Key1 + answers[i].toInt() - 1)) << l.name;
        }
        EXPECT_FALSE(b.form->quiz.open()) << l.name << ": solved";
    }
}

TEST(Clicking, ClicksCarryATermAsTheKeysDo)
{
    Board b;
    Board keys;
    for (Board* board : {&b, &keys}) {
        board->key(0, Key1);
        board->label(0).BackColor = 0x80FFFF; // as a check leaves a correct item
    }
    const QStringList before = b.snapshot();
    auto click = [&b](int i) {
        b.form->lift(i, 5, 5);
        b.form->tapTerm(i);
    };

    // Picked up where it lies, in its own slot, as Space picks it up.
    click(0);
    keys.key(0, TermKeys::Space);
    EXPECT_EQ(b.snapshot(), keys.snapshot());
    EXPECT_EQ(b.form->carry.term, 0);
    EXPECT_EQ(b.form->carry.frame, 0);
    EXPECT_EQ(b.form->focusRequest, &b.form->terms[0]) << "the keys go on with it";
    b.form->tapBoard();
    EXPECT_EQ(b.snapshot(), before) << "a click beside the frames puts it back, colour and all";

    // Another item takes over the carry; a second click on it puts it back.
    click(0);
    click(3);
    EXPECT_EQ(b.form->carry.term, 3);
    EXPECT_EQ(b.label(0).BackColor, 0x80FFFFU);
    click(3);
    EXPECT_EQ(b.form->carry.term, -1);
    EXPECT_EQ(b.snapshot(), before);

    // A click on a frame drops as the keys do, up to the solving drop.
    keys.key(0, TermKeys::Escape);
    const QList<std::pair<int, int>> drops = {{0, 1}, {1, 1}, {2, 2}, {0, 0}, {3, 0}, {4, 1}};
    for (const auto& [i, frame] : drops) {
        click(i);
        b.form->tapFrame(frame);
        keys.key(i, Key1 + frame);
        ASSERT_EQ(b.snapshot(), keys.snapshot()) << "item " << i << " into " << frame;
        auto focus = [](const Board& on) {
            return on.form->focusRequest ? on.form->focusRequest->displayName() : QString();
        };
        EXPECT_EQ(focus(b), focus(keys));
    }
    EXPECT_FALSE(b.form->quiz.open()) << "solved";

    // A press that moves is a drag: no carry, and no click can follow it.
    Board drag;
    drag.mouseDrop(0, 2);
    drag.form->tapTerm(0);
    EXPECT_EQ(drag.form->carry.term, -1);
    EXPECT_EQ(drag.form->quiz.termsIn(2), QList<int>({0}));
}
