#include "ViewFixture.h"

#include <QApplication>
#include <QListWidget>

namespace
{

// Siblings keep the order they were created in: the model's back-to-front
// stacking order.
void expectStackingOrder(MainScreen& form, MainWindow& view)
{
    QList<QWidget*> expected;
    for (Control* c : form.stackingOrder()) {
        if (c->Container == nullptr) {
            expected.append(view.widgetOf(*c));
        }
    }
    QList<QWidget*> actual;
    for (QObject* child : view.children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w != nullptr && expected.contains(w)) {
            actual.append(w);
        }
    }
    EXPECT_EQ(actual, expected);
}

} // namespace

TEST_F(ViewFixture, DraggingATermMovesItsLabelUnderThePointer)
{
    doubleClickEntry(1);
    ASSERT_TRUE(form->quiz.open());
    const Control& term = form->terms[0];
    auto* label = static_cast<LabelWidget*>(widget(term));
    const QRect before = label->geometry();
    const float leftBefore = term.Left;

    const QPoint grabPoint = at(term, QPoint(6, 9));
    QTest::mousePress(window(), Qt::LeftButton, {}, grabPoint);
    EXPECT_TRUE(view->dragging());
    EXPECT_EQ(label->background(), QColor(Qt::white));
    EXPECT_EQ(label->geometry(), before) << "a press moves nothing";

    // One jump far off the label: the pressed label still gets the move.
    QTest::mouseMove(window(), grabPoint + QPoint(150, 120));
    EXPECT_EQ(label->geometry(), before.translated(150, 120));
    EXPECT_EQ(QApplication::widgetAt(label->mapToGlobal(QPoint(6, 9))), label)
        << "the grabbed point stays under the pointer";
    EXPECT_FLOAT_EQ(term.Left, leftBefore) << "the session hears of the term at the release";

    QTest::mouseRelease(window(), Qt::LeftButton, {}, grabPoint + QPoint(150, 120));
    EXPECT_FALSE(view->dragging());
    EXPECT_NE(label->background(), QColor(Qt::white));
    EXPECT_EQ(label->geometry(), QRect(static_cast<int>(std::lround(term.Left / 15.0F)),
                                       static_cast<int>(std::lround(term.Top / 15.0F)),
                                       label->width(), label->height()))
        << "wherever the release put it";
    expectStackingOrder(*form, *view);
}

TEST_F(ViewFixture, AnyButtonPicksATermUpWhateverTheModifiers)
{
    doubleClickEntry(1);
    const Control& term = form->terms[1];
    const QPoint p = at(term, QPoint(4, 4));
    QTest::mousePress(window(), Qt::RightButton, Qt::ShiftModifier, p);
    EXPECT_TRUE(view->dragging());
    EXPECT_EQ(static_cast<LabelWidget*>(widget(term))->background(), QColor(Qt::white));
    QTest::mouseRelease(window(), Qt::RightButton, Qt::ShiftModifier, p);
    EXPECT_FALSE(view->dragging());
    EXPECT_EQ(session->carried(), 1) << "a click picks it up";
    EXPECT_EQ(term.BackColor, Colors::White);
}

TEST_F(ViewFixture, ClicksPickATermUpPutItInAFrameOrPutItBack)
{
    doubleClickEntry(1);
    const Control& first = form->terms[0];
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(first));
    EXPECT_EQ(session->carried(), 0);
    EXPECT_EQ(first.BackColor, Colors::White);
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(first));
    EXPECT_EQ(session->carried(), -1) << "a second click puts it back";
    EXPECT_NE(first.BackColor, Colors::White);

    // Another term takes over; a click on a frame puts it there.
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(first));
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->terms[1]));
    EXPECT_EQ(session->carried(), 1);
    EXPECT_NE(first.BackColor, Colors::White);
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->frames[1]));
    EXPECT_EQ(form->quiz.frameOf(1), 1);
    EXPECT_EQ(session->carried(), -1);

    // A click beside the frames puts a picked-up term back where it lay.
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->terms[2]));
    QTest::mouseClick(window(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(session->carried(), -1);
    EXPECT_EQ(form->quiz.frameOf(2), -1);
}

TEST_F(ViewFixture, KeysDuringADragAndWithShiftMoveNoTerm)
{
    doubleClickEntry(1);
    QWidget* other = widget(form->terms[1]);
    QTest::keyClick(other, Qt::Key_1, Qt::ShiftModifier);
    EXPECT_EQ(form->quiz.frameOf(1), -1) << "Shift+1 is no digit";
    const QPoint grab = at(form->terms[0], QPoint(4, 4));
    QTest::mousePress(window(), Qt::LeftButton, {}, grab);
    QTest::mouseMove(window(), grab + QPoint(40, 40));
    QTest::keyClick(other, Qt::Key_1);
    QTest::keyClick(other, Qt::Key_Space);
    EXPECT_EQ(form->quiz.frameOf(1), -1);
    EXPECT_EQ(session->carried(), -1);
    QTest::mouseRelease(window(), Qt::LeftButton, {}, grab + QPoint(40, 40));
    QTest::keyClick(other, Qt::Key_1);
    EXPECT_EQ(form->quiz.frameOf(1), 0) << "after the drag, the key puts it in frame 1";
}

TEST_F(ViewFixture, DraggedTermShowsInFrontOfTheGroupFrames)
{
    doubleClickEntry(1);
    const Control* frame = nullptr;
    for (const Control& f : form->frames) {
        if (f.Visible) {
            frame = &f;
            break;
        }
    }
    ASSERT_NE(frame, nullptr);
    const Control& term = form->terms[2];
    const QPoint grabPoint = at(term, QPoint(3, 2));
    const QPoint target = at(*frame, QPoint(30, 120));

    QTest::mousePress(window(), Qt::LeftButton, {}, grabPoint);
    QTest::mouseMove(window(), target);
    const QImage image = view->grab().toImage();
    EXPECT_EQ(image.pixelColor(target), QColor(Qt::white)) << "the white label, not the frame";
    EXPECT_EQ(image.pixelColor(target + QPoint(0, 40)), QColor(255, 255, 192))
        << "the frame's fill below the label";
    expectStackingOrder(*form, *view);
    QTest::mouseRelease(window(), Qt::LeftButton, {}, target);
}

TEST_F(ViewFixture, PictureClickOpensTheAboutWindow)
{
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->titlePicture));
    EXPECT_EQ(dialogs.aboutShown, 1);

    // A press that ends outside the picture is no click, nor is a right click.
    QTest::mousePress(window(), Qt::LeftButton, {}, centreOf(form->titlePicture));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseClick(window(), Qt::RightButton, {}, centreOf(form->titlePicture));
    EXPECT_EQ(dialogs.aboutShown, 1);
}

TEST_F(ViewFixture, KeyboardDrivesTheSeriesList)
{
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    auto* list = widget(form->seriesList);
    EXPECT_EQ(QApplication::focusWidget(), list) << "the list has the focus at first";

    QTest::keyClick(window(), Qt::Key_Down);
    EXPECT_EQ(form->seriesList.ListIndex, 0) << "the first arrow key selects the first entry";
    QTest::keyClick(window(), Qt::Key_Down);
    EXPECT_EQ(form->seriesList.ListIndex, 1);

    QTest::keyClick(window(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(form->seriesList.Visible) << "Enter opens the selected series";
    EXPECT_TRUE(widget(form->seriesList)->isHidden());
    EXPECT_TRUE(form->quiz.open());
}

TEST_F(ViewFixture, TabSkipsHiddenControlsInTheDesignedOrder)
{
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    ASSERT_EQ(QApplication::focusWidget(), widget(form->seriesList));
    QTest::keyClick(window(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), widget(form->titlePicture));
    QTest::keyClick(window(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), widget(form->quitButton));
    QTest::keyClick(window(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), widget(form->seriesList));
    QTest::keyClick(window(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), widget(form->quitButton));
}

TEST_F(ViewFixture, QuitButtonAsksAndEndsOnlyOnOk)
{
    dialogs.script = {Dialogs::Answer::Cancel, Dialogs::Answer::Ok};
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->quitButton));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].buttons, Dialogs::Buttons::OkCancel);
    EXPECT_EQ(dialogs.ended, 0);
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->quitButton));
    EXPECT_EQ(dialogs.ended, 1);
}

TEST_F(ViewFixture, AMessageBoxComesUpOverTheWindowAsTheHandlerLeftIt)
{
    doubleClickEntry(1);
    state().markPending = true;
    state().currentProblem = 1;
    // Leaving the series fails to write the mark before it brings back the
    // list: the box is shown over the list all the same.
    int shown = 0;
    dialogs.onShow = [this, &shown](const QString& text) {
        ++shown;
        EXPECT_TRUE(text.contains("Marked.txt"));
        EXPECT_TRUE(widget(form->seriesList)->isVisible());
        EXPECT_FALSE(widget(form->terms[0])->isVisible());
    };
    {
        const TestFiles::FileSizeLimit full(10);
        QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->quitButton));
    }
    EXPECT_EQ(shown, 1);
}

TEST_F(ViewFixture, ClosingTheWindowSavesAPendingMarkButEndingTheProgramDoesNot)
{
    doubleClickEntry(1);
    ASSERT_FALSE(state().markedSeries);
    state().markPending = true;
    const QString marks = path(QStringLiteral("Marked.txt"));
    const QByteArray before = TestFiles::readAll(marks);

    view->endProgram();
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(TestFiles::readAll(marks), before) << "nothing is written at the end";
    EXPECT_TRUE(state().markPending);

    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->close();
    EXPECT_TRUE(state().markPending) << "an ended program runs no further handler";
}

TEST_F(ViewFixture, ClosingTheWindowRunsTheClosingHandler)
{
    doubleClickEntry(1);
    state().markPending = true;
    const QString marks = path(QStringLiteral("Marked.txt"));
    const QByteArray before = TestFiles::readAll(marks);
    view->close();
    EXPECT_FALSE(state().markPending);
    EXPECT_GT(TestFiles::readAll(marks).size(), before.size()) << "the mark was appended";
}

TEST_F(ViewFixture, ClosingIsRefusedWhenTheUserStaysForAMarkThatCannotBeSaved)
{
    doubleClickEntry(1);
    state().markPending = true;
    state().currentProblem = 1;
    dialogs.script = {Dialogs::Answer::Cancel};
    {
        const TestFiles::FileSizeLimit full(10);
        EXPECT_FALSE(view->close());
    }
    EXPECT_TRUE(view->isVisible());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].buttons, Dialogs::Buttons::OkCancel);
    // The next close writes the mark and ends.
    EXPECT_TRUE(view->close());
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(fileMarks->pending().isEmpty());
}
