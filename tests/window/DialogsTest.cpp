#include "ViewFixture.h"

#include "window/AboutDialog.h"
#include "window/QtDialogs.h"

#include <QAccessible>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace
{

// Runs `inspect` on the modal window once it is up; `inspect` closes it.
void whenModalShows(std::function<void(QWidget*)> inspect)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            inspect(modal);
        }
    });
    timer->start();
}

} // namespace

TEST(QtDialogsTest, MessageBoxAsksWithTheProgramsTitleAndOkAsDefault)
{
    QtDialogs dialogs;
    bool inspected = false;
    whenModalShows([&inspected](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        inspected = true;
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Velmorantからのメッセージ"));
        EXPECT_EQ(box->text(), QStringLiteral("終了してもよろしいですか"));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::Ok);
        EXPECT_EQ(box->buttons().size(), 2);
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.messageBox(QStringLiteral("終了してもよろしいですか"),
                                 Dialogs::Buttons::OkCancel, Dialogs::Icon::Exclamation),
              Dialogs::Answer::Ok);
    EXPECT_TRUE(inspected);
}

// A teacher's title such as "a<b と c>d" is text, not markup: nothing of it
// may vanish or turn bold.
TEST(QtDialogsTest, MessageBoxShowsTextAsWritten)
{
    QtDialogs dialogs;
    const QString text = QStringLiteral("問題集「不等号 a<b と c>d の練習」について");
    bool inspected = false;
    whenModalShows([&](QWidget* box) {
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        inspected = true;
        EXPECT_EQ(label->text(), text);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        box->close();
    });
    dialogs.messageBox(text, Dialogs::Buttons::Ok, Dialogs::Icon::Information);
    EXPECT_TRUE(inspected);
}

TEST(QtDialogsTest, ClosingAMessageBoxAnswersCancel)
{
    QtDialogs dialogs;
    whenModalShows([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(dialogs.messageBox(QStringLiteral("?"), Dialogs::Buttons::OkCancel,
                                 Dialogs::Icon::Exclamation),
              Dialogs::Answer::Cancel);

    whenModalShows([](QWidget* box) {
        EXPECT_EQ(static_cast<QMessageBox*>(box)->icon(), QMessageBox::Information);
        EXPECT_EQ(static_cast<QMessageBox*>(box)->buttons().size(), 1);
        box->close();
    });
    dialogs.messageBox(QStringLiteral("!"), Dialogs::Buttons::Ok, Dialogs::Icon::Information);
}

TEST(QtDialogsTest, AboutWindowOpensLoadedAndClosesOnOk)
{
    QtDialogs dialogs;
    int opened = 0;
    for (int round = 0; round < 2; ++round) {
        whenModalShows([&opened](QWidget* w) {
            auto* about = qobject_cast<AboutDialog*>(w);
            ASSERT_NE(about, nullptr);
            ++opened;
            EXPECT_EQ(about->windowTitle(), QStringLiteral(" Velmorant バージョン情報"));
            EXPECT_EQ(QAccessible::queryAccessibleInterface(about)->text(QAccessible::Name),
                      QStringLiteral("Velmorant バージョン情報"))
                << "read without the title bar's leading blank";
            EXPECT_EQ(about->size(), QSize(377, 139));
            EXPECT_EQ(about->focusWidget(), about->okButton());
            EXPECT_EQ(about->okButton()->geometry(), QRect(144, 108, 73, 25));
            const QImage image = about->grab().toImage();
            EXPECT_EQ(image.pixelColor(2, 2), QColor(224, 224, 224));
            QTest::mouseClick(about->okButton(), Qt::LeftButton);
        });
        dialogs.showAbout();
    }
    EXPECT_EQ(opened, 2) << "each click opens it afresh";
}

TEST(QtDialogsTest, AboutDescriptionFitsItsLabelInTheDefaultFont)
{
    AboutScreen model;
    model.load();
    AboutDialog about(model);
    const QFontMetrics metrics(about.font());
    const QRect label(0, 0, 353 - 0, 69);
    const QRect needed =
        metrics.boundingRect(label, Qt::TextWrapAnywhere | Qt::AlignLeft, model.descriptionLabel.Caption());
    EXPECT_LE(needed.height(), label.height() + metrics.descent())
        << "the last line of the description shows";
}

TEST_F(ViewFixture, EndProgramLeavesTheEventLoopAndClosesTheWindow)
{
    QtDialogs realDialogs;
    realDialogs.setMainWindow(view.get());
    QEventLoop loop;
    QTimer::singleShot(0, [&realDialogs] { realDialogs.endProgram(); });
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });
    EXPECT_EQ(loop.exec(), 0);
    EXPECT_TRUE(view->ended());
    EXPECT_FALSE(view->isVisible());

    // Input that still arrives runs no handler.
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->titlePicture));
    EXPECT_EQ(dialogs.aboutShown, 0);
}
