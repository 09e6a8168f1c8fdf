#include "ViewFixture.h"

namespace
{

// The presses and releases of a drag made with two buttons, in one order.
struct Chord {
    const char* name;
    std::array<Qt::MouseButton, 4> steps; // press, press, release, release
};

} // namespace

TEST_F(ViewFixture, ASecondButtonDuringADragPlacesTheTermOnce)
{
    doubleClickEntry(1);
    ASSERT_EQ(form->quiz.terms(), 4);
    const QList<Chord> chords = {
        {"L-R-L-R", {Qt::LeftButton, Qt::RightButton, Qt::LeftButton, Qt::RightButton}},
        {"L-R-R-L", {Qt::LeftButton, Qt::RightButton, Qt::RightButton, Qt::LeftButton}},
        {"R-L-L-R", {Qt::RightButton, Qt::LeftButton, Qt::LeftButton, Qt::RightButton}},
    };
    // Terms 0 and 1 belong to frame 0, term 2 to frame 1.
    const std::array<int, 3> frames = {0, 0, 1};
    for (int i = 0; i < chords.size(); ++i) {
        const Chord& chord = chords.at(i);
        const QPoint grab = at(form->terms.at(i), QPoint(5, 5));
        const QPoint drop = centreOf(form->frames.at(frames.at(i)));
        QTest::mousePress(window(), chord.steps[0], {}, grab);
        QTest::mouseMove(window(), drop);
        QTest::mousePress(window(), chord.steps[1], {}, drop);
        QTest::mouseRelease(window(), chord.steps[2], {}, drop);
        QTest::mouseMove(window(), drop + QPoint(7, 3));
        QTest::mouseRelease(window(), chord.steps[3], {}, drop + QPoint(7, 3));
        EXPECT_FALSE(view->dragging()) << chord.name;
    }
    EXPECT_EQ(form->quiz.termsIn(0), QList<int>({0, 1})) << "each term lies in one slot";
    EXPECT_EQ(form->quiz.termsIn(1), QList<int>({2}));
    EXPECT_TRUE(form->quiz.open()) << "three of four terms placed: not solved";
    EXPECT_FALSE(widget(form->resultMessage)->isVisible());
    EXPECT_TRUE(players.log.filter(QStringLiteral(":play")).isEmpty());
}
