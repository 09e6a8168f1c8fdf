#include "ViewFixture.h"

#include "window/AboutDialog.h"
#include "window/ProgressCharts.h"
#include "window/ProgressDialog.h"
#include "window/QtDialogs.h"

#include <QAccessible>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>

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

QStringList rowTexts(const QTableWidget* table)
{
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c) {
            cells.append(table->item(r, c) != nullptr ? table->item(r, c)->text() : QString());
        }
        rows.append(cells.join(u'|'));
    }
    return rows;
}

QString accessible(QWidget* w, QAccessible::Text text)
{
    return QAccessible::queryAccessibleInterface(w)->text(text);
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

TEST(QtDialogsTest, RecordWindowShowsTheTableAndChartsInWordsAndClosesOnEscape)
{
    QtDialogs dialogs;
    bool inspected = false;
    whenModalShows([&inspected](QWidget* w) {
        auto* dialog = qobject_cast<ProgressDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        inspected = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("学習の記録"));
        QTableWidget* table = dialog->table();
        EXPECT_EQ(accessible(table, QAccessible::Name), QStringLiteral("シリーズごとの記録"));
        QStringList headers;
        for (int c = 0; c < table->columnCount(); ++c) {
            headers.append(table->horizontalHeaderItem(c)->text());
        }
        EXPECT_EQ(headers.join(u'|'),
                  QStringLiteral("シリーズ|解いた問題|初回正解 (%)|今日の復習|今週の復習"));
        EXPECT_EQ(rowTexts(table), (QStringList{QStringLiteral("動物の分類|3|67|1|2"),
                                                QStringLiteral("植物の分類|0|—|0|0")}));

        EXPECT_EQ(accessible(dialog->dayChart(), QAccessible::Name),
                  QStringLiteral("1日の回答数（30日）"));
        const QString days = accessible(dialog->dayChart(), QAccessible::Description);
        EXPECT_TRUE(days.startsWith(QStringLiteral("11月8日 5問、11月9日 0問、")))
            << qPrintable(days);
        EXPECT_TRUE(days.contains(QStringLiteral("、12月1日 1問、")));
        EXPECT_TRUE(days.endsWith(QStringLiteral("、12月7日 8問"))) << qPrintable(days);
        EXPECT_EQ(accessible(dialog->weekChart(), QAccessible::Name),
                  QStringLiteral("初回正解率（週ごと）"));
        const QString weeks = accessible(dialog->weekChart(), QAccessible::Description);
        EXPECT_TRUE(weeks.startsWith(QStringLiteral("9月14日の週 復習なし、")));
        EXPECT_TRUE(weeks.endsWith(
            QStringLiteral("11月23日の週 75%（4問中3問）、11月30日の週 67%（3問中2問）")))
            << qPrintable(weeks);

        // Each term's rate at first checks, as the record orders them.
        EXPECT_EQ(accessible(dialog->termTable(), QAccessible::Name),
                  QStringLiteral("項目ごとの初回正解率"));
        EXPECT_EQ(rowTexts(dialog->termTable()),
                  (QStringList{QStringLiteral("問題1|ヒトデ|棘皮動物|33|1/3"),
                               QStringLiteral("問題1|エビ|節足動物|100|3/3")}));

        // Tab goes from the tables through both charts to the button and round.
        QWidget* order[] = {table,
                            dialog->termTable(),
                            dialog->dayChart(),
                            dialog->weekChart(),
                            dialog->closeButton(),
                            table};
        // Keys go through the window, as a keyboard's do.
        for (QWidget* expected : order) {
            EXPECT_EQ(dialog->focusWidget(), expected);
            QTest::keyClick(dialog->windowHandle(), Qt::Key_Tab);
        }
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible()) << "Escape closes it";
        dialog->close();
    });
    dialogs.showProgress(sampleProgress());
    EXPECT_TRUE(inspected);
}

TEST(QtDialogsTest, AnEmptyRecordSaysSoAndKeepsTheChartsAxes)
{
    Progress empty = sampleProgress();
    empty.answers = 0;
    for (DayCount& d : empty.days) {
        d.answers = 0;
    }
    for (WeekRate& w : empty.weeks) {
        w = WeekRate{w.monday};
    }
    ProgressDialog dialog(empty);
    EXPECT_EQ(rowTexts(dialog.table()),
              QStringList{QStringLiteral("まだ回答の記録がありません||||")});
    // Both charts keep their scales with nothing to show on them.
    for (QChartView* chart : {dialog.dayChart(), dialog.weekChart()}) {
        ASSERT_EQ(chart->chart()->axes(Qt::Horizontal).size(), 1);
        ASSERT_EQ(chart->chart()->axes(Qt::Vertical).size(), 1);
        const auto* values = qobject_cast<QValueAxis*>(chart->chart()->axes(Qt::Vertical).first());
        ASSERT_NE(values, nullptr);
        EXPECT_EQ(values->min(), 0);
        EXPECT_EQ(values->max(), chart == dialog.weekChart() ? 100 : 4);
    }
    EXPECT_TRUE(accessible(dialog.weekChart(), QAccessible::Description)
                    .endsWith(QStringLiteral("11月30日の週 復習なし")));
}
