#include "ViewFixture.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <array>
#include <cstring>

namespace
{

class Keyboard : public ViewFixture
{
protected:
    void SetUp() override
    {
        ViewFixture::SetUp();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    QWidget* focused() const { return QApplication::focusWidget(); }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(window(), key, modifiers);
    }
    int frameOf(int term) const { return form->quiz.frameOf(term); }
    QAccessibleInterface* accessible(const Control& c) const
    {
        return QAccessible::queryAccessibleInterface(widget(c));
    }
    QString name(const Control& c) const { return accessible(c)->text(QAccessible::Name); }
    QString description(const Control& c) const
    {
        return accessible(c)->text(QAccessible::Description);
    }
    // A key event as X11 and Qt hand it to the window: first the X event
    // with its server time (for key code `code`), then Qt's key event.
    void send(QEvent::Type type, Qt::Key key, quint8 code, quint32 time)
    {
        xEvent(type, code, time);
        keyEvent(type, key, code);
    }
    void xEvent(QEvent::Type type, quint8 code, quint32 time)
    {
        std::array<quint8, 32> x{};
        x[0] = type == QEvent::KeyPress ? 2 : 3;
        x[1] = code;
        std::memcpy(&x[4], &time, sizeof time);
        qintptr result = 0;
        QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", x.data(),
                                                                &result);
    }
    void keyEvent(QEvent::Type type, Qt::Key key, quint8 code)
    {
        QKeyEvent event(type, key, Qt::NoModifier, code, 0, 0, QKeySequence(key).toString());
        QCoreApplication::sendEvent(window(), &event);
    }
    // Key `key` held from `time` for `repeats` repeats, as a loaded X server
    // delivers them: each repeat a release and a press with one server time,
    // the press read too late for Qt to mark either as a repeat.
    void hold(Qt::Key key, quint8 code, quint32 time, int repeats)
    {
        send(QEvent::KeyPress, key, code, time);
        for (int i = 1; i <= repeats; ++i) {
            const quint32 repeat = time + 500 + 33 * i;
            xEvent(QEvent::KeyRelease, code, repeat);
            xEvent(QEvent::KeyPress, code, repeat);
            keyEvent(QEvent::KeyRelease, key, code);
            keyEvent(QEvent::KeyPress, key, code);
        }
        send(QEvent::KeyRelease, key, code, time + 1000 + 33 * repeats);
    }
};

} // namespace

TEST_F(Keyboard, AProblemIsSolvedWithKeysAloneAndTheFocusFollows)
{
    // Open the series from the list with the keyboard.
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    ASSERT_EQ(form->quiz.terms(), 4);
    EXPECT_EQ(focused(), widget(form->terms[0])) << "a new problem: the first term";
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), widget(form->terms[1]));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), widget(form->terms[0]));

    // "1" puts ウニ into the first frame; the focus goes on to ヒトデ.
    press(Qt::Key_1);
    EXPECT_EQ(form->quiz.termsIn(0).value(0), 0);
    EXPECT_EQ(focused(), widget(form->terms[1]));
    EXPECT_EQ(widget(form->terms[0])->geometry().topLeft(),
              widget(form->frames[0])->geometry().topLeft() + QPoint(8, 17))
        << "snapped into slot 0 on the screen";

    // ヒトデ is carried with the arrows into the wrong frame, then once more
    // picked up and put back with Escape.
    press(Qt::Key_Space);
    EXPECT_EQ(form->terms[1].BackColor, Colors::White);
    press(Qt::Key_Right);
    const QRect frame1 = widget(form->frames[1])->geometry();
    const QImage shot = view->grab().toImage();
    EXPECT_EQ(shot.pixelColor(frame1.topLeft() + QPoint(3, 30)), QColor(0, 0, 255))
        << "the highlight inside frame 2";
    EXPECT_EQ(shot.pixelColor(widget(form->captions[1])->geometry().center()),
              widget(form->captions[1])
                  ->grab()
                  .toImage()
                  .pixelColor(widget(form->captions[1])->rect().center()))
        << "the caption stays in front of the highlight";
    press(Qt::Key_Return);
    EXPECT_EQ(frameOf(1), 1);
    EXPECT_EQ(focused(), widget(form->terms[2]));

    // Keypad digits work as well; a digit beyond the frames does nothing.
    press(Qt::Key_3);
    EXPECT_EQ(frameOf(2), -1);
    press(Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(frameOf(2), 1);
    EXPECT_EQ(focused(), widget(form->terms[3]));
    press(Qt::Key_Space);
    press(Qt::Key_Left);
    press(Qt::Key_Escape);
    EXPECT_EQ(frameOf(3), -1);
    EXPECT_NE(form->terms[3].BackColor, Colors::White);
    // Leaving a carried term with Tab puts it back as well.
    press(Qt::Key_Space);
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), widget(form->arrows[Arrow::Next]));
    EXPECT_EQ(form->carry.term, -1);
    EXPECT_NE(form->terms[3].BackColor, Colors::White);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    press(Qt::Key_2);
    EXPECT_EQ(players.log.filter(":play"), QStringList{"Wrong:play"}) << "one wrong term";
    EXPECT_EQ(focused(), widget(form->terms[3])) << "every term placed: the focus stays";

    // ヒトデ into its own frame solves the problem; the only problem of the
    // series, so the focus goes to the first result button shown.
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(focused(), widget(form->terms[1]));
    press(Qt::Key_1);
    EXPECT_FALSE(form->quiz.open());
    EXPECT_TRUE(widget(form->resultMessage)->isVisible());
    EXPECT_EQ(focused(), widget(form->resultButtons[ResultButton::Retry]));
    press(Qt::Key_1);
    EXPECT_EQ(focused(), widget(form->resultButtons[ResultButton::Retry])) << "digits do nothing on a button";

    // The explanation opens and closes with keys; the focus goes along.
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    ASSERT_EQ(focused(), widget(form->resultButtons[ResultButton::Explanation]));
    press(Qt::Key_Space);
    EXPECT_TRUE(widget(form->explanationPanel)->isVisible());
    EXPECT_EQ(focused(), widget(form->explanationText)) << "the explanation, to be read";
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), widget(form->explanationBack));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), widget(form->explanationText));
    press(Qt::Key_Tab);
    press(Qt::Key_Return);
    EXPECT_FALSE(widget(form->explanationPanel)->isVisible());
    EXPECT_EQ(focused(), widget(form->resultButtons[ResultButton::Retry]));

    // "この問題をもう一度" with Space: the problem again, focus on its first term.
    press(Qt::Key_Space);
    EXPECT_TRUE(form->quiz.open());
    EXPECT_EQ(focused(), widget(form->terms[0]));
    EXPECT_EQ(frameOf(0), -1);
}

TEST_F(Keyboard, ScreenReadersGetNamesDescriptionsAndChanges)
{
    doubleClickEntry(1);
    const Control& urchin = form->terms[0];
    EXPECT_EQ(name(urchin), QStringLiteral("ウニ")) << "without the padding blanks";
    EXPECT_EQ(accessible(urchin)->role(), QAccessible::Button);
    EXPECT_TRUE(description(urchin).contains(QStringLiteral("どの枠にもありません")));
    EXPECT_EQ(name(form->captions[1]), QStringLiteral("軟体動物"));
    EXPECT_EQ(name(form->frames[1]), QStringLiteral("枠2「軟体動物」"));
    EXPECT_EQ(accessible(form->frames[1])->role(), QAccessible::Grouping);
    EXPECT_EQ(name(form->headingText), QStringLiteral("問題１"));
    EXPECT_EQ(name(form->questionText), QStringLiteral("次の動物を分類しなさい。")) << "heading once";
    EXPECT_NE(name(form->resultButtons[ResultButton::ToList]), name(form->quitButton));
    EXPECT_TRUE(name(form->quitButton).startsWith(QStringLiteral("終了")));
    EXPECT_EQ(name(form->instructionLine), QString::fromUtf16(MainScreen::DragPrompt));
    EXPECT_EQ(name(form->explanationText), QStringLiteral("解説"));
    EXPECT_EQ(name(form->seriesList), QString::fromUtf16(MainScreen::ListPrompt));
    EXPECT_EQ(name(form->titlePicture), QStringLiteral("Velmorant バージョン情報"));
    EXPECT_EQ(accessible(form->titlePicture)->role(), QAccessible::Button);
    EXPECT_EQ(accessible(form->resultMessage)->role(), QAccessible::AlertMessage);

    // Change events, with whether the widget was showing when it was sent.
    QList<std::tuple<QObject*, QAccessible::Event, bool>> events;
    view->access().setAnnouncer([&events](QAccessibleEvent* e) {
        events.append({e->object(), e->type(), static_cast<QWidget*>(e->object())->isVisible()});
    });
    // Terms dropped with the mouse and with the keyboard alike.
    for (int i = 0; i < 4; ++i) {
        if (i % 2 == 0) {
            QTest::keyClick(widget(form->terms.at(i)), i < 2 ? Qt::Key_1 : Qt::Key_2);
        } else {
            const QPoint grab = at(form->terms.at(i), QPoint(5, 5));
            const QPoint drop = centreOf(form->frames.at(i < 2 ? 0 : 1));
            QTest::mousePress(window(), Qt::LeftButton, {}, grab);
            QTest::mouseMove(window(), drop);
            QTest::mouseRelease(window(), Qt::LeftButton, {}, drop);
        }
    }

    EXPECT_FALSE(form->quiz.open()) << "solved";
    EXPECT_EQ(description(urchin), QStringLiteral("枠1「棘皮動物」にあります。正解です。"));
    EXPECT_EQ(description(form->terms[3]),
              QStringLiteral("枠2「軟体動物」にあります。正解です。"));
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(
            events.contains({widget(form->terms.at(i)), QAccessible::DescriptionChanged, true}))
            << "term " << i << " changed frame";
    }
    QWidget* message = widget(form->resultMessage);
    EXPECT_EQ(name(form->resultMessage), QStringLiteral("正解です。このシリーズは終わりです"));
    EXPECT_TRUE(events.contains({message, QAccessible::NameChanged, false}))
        << "the message has its text before it appears";
}

TEST_F(Keyboard, AHeldKeyActsOnceHoweverLateItsRepeatsCome)
{
    doubleClickEntry(1);
    ASSERT_EQ(focused(), widget(form->terms[0]));
    // X key codes of a PC keyboard: 10 is "1", 11 "2", 36 Return.
    hold(Qt::Key_1, 10, 10000, 6);
    EXPECT_EQ(frameOf(0), 0);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(frameOf(i), -1) << "term " << i << " placed by a repeat";
    }
    ASSERT_EQ(focused(), widget(form->terms[1]));

    // Held Enter picks the term up and no more; the next press puts it down.
    hold(Qt::Key_Return, 36, 20000, 6);
    EXPECT_EQ(form->carry.term, 1);
    EXPECT_EQ(frameOf(1), -1);
    send(QEvent::KeyPress, Qt::Key_Return, 36, 30000);
    send(QEvent::KeyRelease, Qt::Key_Return, 36, 30100);
    EXPECT_EQ(frameOf(1), 0);
    ASSERT_EQ(focused(), widget(form->terms[2]));

    // Repeats sent as presses alone, with no release between them.
    send(QEvent::KeyPress, Qt::Key_2, 11, 40000);
    send(QEvent::KeyPress, Qt::Key_2, 11, 40500);
    send(QEvent::KeyPress, Qt::Key_2, 11, 40533);
    send(QEvent::KeyRelease, Qt::Key_2, 11, 40600);
    EXPECT_EQ(frameOf(2), 1);
    EXPECT_EQ(frameOf(3), -1);
    // A new press of the same key acts again.
    send(QEvent::KeyPress, Qt::Key_2, 11, 41000);
    send(QEvent::KeyRelease, Qt::Key_2, 11, 41100);
    EXPECT_EQ(frameOf(3), 1);
}

TEST_F(Keyboard, ACheckedAnswerSaysRightOrWrongToScreenReaders)
{
    doubleClickEntry(1);
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(widget(form->terms.at(i)), Qt::Key_2);
    }
    ASSERT_TRUE(form->quiz.open()) << "two wrong";
    EXPECT_EQ(description(form->terms[0]),
              QStringLiteral("枠2「軟体動物」にあります。不正解です。"));
    EXPECT_EQ(description(form->terms[3]),
              QStringLiteral("枠2「軟体動物」にあります。正解です。"));
}

TEST_F(Keyboard, TheFocusIsNeverLostHiddenOrPassedThrough)
{
    // The title picture shows the focus and opens About with Enter or Space.
    QWidget* picture = widget(form->titlePicture);
    const QImage unfocused = picture->grab().toImage();
    picture->setFocus();
    EXPECT_NE(picture->grab().toImage(), unfocused) << "no focus mark";
    press(Qt::Key_Return);
    press(Qt::Key_Space);
    EXPECT_EQ(dialogs.aboutShown, 2);

    // A long explanation, to be scrolled with keys.
    QStringList explanation;
    for (int i = 0; i < 30; ++i) {
        explanation << QStringLiteral("説明の%1行目。").arg(i + 1);
    }
    TestFiles::write(
        path(QStringLiteral("Animals.TXT")),
        TestFiles::lines(QStringList{QStringLiteral("問題１　分類しなさい。"),
                                     QStringLiteral("Ａ群"), QStringLiteral("・ウニ　・イカ"),
                                     QStringLiteral("Ｂ群"),
                                     QStringLiteral("ａ．棘皮動物　ｂ．軟体動物"),
                                     QStringLiteral("正解a,b,"), QStringLiteral("解説")} +
                         explanation));
    QList<QWidget*> focusPath;
    const QObject listening;
    QObject::connect(qApp, &QApplication::focusChanged, &listening,
                     [&focusPath](QWidget*, QWidget* now) { focusPath.append(now); });
    widget(form->seriesList)->setFocus();
    focusPath.clear();
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    ASSERT_EQ(form->quiz.terms(), 2);
    EXPECT_EQ(focusPath, QList<QWidget*>{widget(form->terms[0])}) << "straight to the first term";
    EXPECT_EQ(accessible(form->seriesList)->childCount(), 0)
        << "the hidden list offers no entry that could claim to show or have the focus";

    // Solved; the explanation is reached and scrolled with keys.
    press(Qt::Key_1);
    press(Qt::Key_2);
    ASSERT_FALSE(form->quiz.open());
    widget(form->resultButtons[ResultButton::Explanation])->setFocus();
    press(Qt::Key_Space);
    auto* text = qobject_cast<QPlainTextEdit*>(widget(form->explanationText));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(focused(), text);
    for (int i = 0; i < 3; ++i) {
        press(Qt::Key_PageDown);
    }
    EXPECT_GT(text->verticalScrollBar()->value(), 0) << "the text past its fourth line";
    press(Qt::Key_Tab);
    ASSERT_EQ(focused(), widget(form->explanationBack));
    focusPath.clear();
    press(Qt::Key_Return);
    EXPECT_EQ(focusPath, QList<QWidget*>{widget(form->resultButtons[ResultButton::Retry])}) << "back, past no term";

    // The end-of-series panel: Tab passes by the terms it covers.
    press(Qt::Key_Space);
    widget(form->arrows[Arrow::Next])->setFocus();
    press(Qt::Key_Space);
    ASSERT_TRUE(widget(form->resultPanel)->isVisible());
    const QRect panel = widget(form->resultPanel)->geometry();
    QList<QWidget*> covered;
    for (int i = 0; i < form->quiz.terms(); ++i) {
        if (panel.intersects(widget(form->terms.at(i))->geometry())) {
            covered.append(widget(form->terms.at(i)));
        }
    }
    ASSERT_FALSE(covered.isEmpty());
    for (int i = 0; i < 20; ++i) {
        press(Qt::Key_Tab);
        EXPECT_FALSE(covered.contains(focused())) << "Tab onto a term under the panel";
    }
}
