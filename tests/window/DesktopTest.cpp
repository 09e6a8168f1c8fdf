#include "ViewFixture.h"

#include "session/Colors.h"
#include "session/AboutScreen.h"
#include "window/AboutDialog.h"
#include "measure/JapaneseFonts.h"
#include "window/LabelWidget.h"
#include "window/ProgressDialog.h"
#include "measure/QtFonts.h"
#include "window/ViewColors.h"

#include <QApplication>
#include <QBarSeries>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTableWidget>

namespace
{

struct Scheme {
    const char* name;
    QPalette palette;
};

// Test names show the scheme's name.
[[maybe_unused]] void PrintTo(const Scheme& scheme, std::ostream* os)
{
    *os << scheme.name;
}

QPalette darkPalette()
{
    // The desktop's "darker" colour scheme (qt6ct): window text, button,
    // light, dark, mid, text, bright text, base, window.
    QPalette p(Qt::white, QColor(0x42, 0x42, 0x45), QColor(0x97, 0x97, 0x97),
               QColor(0x30, 0x2f, 0x2e), QColor(0x4a, 0x49, 0x47), Qt::white, Qt::white,
               QColor(0x3d, 0x3d, 0x3d), QColor(0x22, 0x20, 0x20));
    p.setColor(QPalette::Highlight, QColor(0x12, 0x60, 0x8a));
    return p;
}

QPalette highContrastPalette()
{
    QPalette p(Qt::white, Qt::black, Qt::white, Qt::gray, Qt::gray, Qt::white, Qt::white, Qt::black,
               Qt::black);
    p.setColor(QPalette::ButtonText, QColor(255, 255, 0));
    p.setColor(QPalette::Highlight, QColor(0, 255, 255));
    p.setColor(QPalette::HighlightedText, Qt::black);
    return p;
}

// The contrast of what is drawn in an area: its commonest colour is the
// background; the text is the pixel that stands out from it most. Fails
// when nothing stands out at all (no text was drawn).
double drawnContrast(const QImage& image, const QRect& area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            counts[image.pixel(x, y)] += 1;
        }
    }
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        best = std::max(best, ViewColors::contrast(QColor(background), QColor(it.key())));
    }
    return best;
}

class SchemeTest : public ViewFixture, public ::testing::WithParamInterface<Scheme>
{
protected:
    void SetUp() override
    {
        oldPalette_ = QApplication::palette();
        oldStyle_ = QApplication::style()->name();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(GetParam().palette);
        ViewFixture::SetUp();
    }
    void TearDown() override
    {
        ViewFixture::TearDown();
        QApplication::setStyle(QStyleFactory::create(oldStyle_));
        QApplication::setPalette(oldPalette_);
    }

    // Checks every text of the controls on the screen now.
    void expectReadable(const QList<const Control*>& controls, const char* screen)
    {
        const QImage image = view->grab().toImage();
        for (const Control* c : controls) {
            QWidget* w = widget(*c);
            ASSERT_TRUE(w->isVisible()) << c->Name.toStdString();
            QRect area(w->mapTo(view.get(), QPoint(0, 0)), w->size());
            // Inside borders and focus frames.
            area.adjust(3, 3, -3, -3);
            if (auto* list = qobject_cast<QListWidget*>(w)) {
                // The first entry, which is not selected.
                area = QRect(list->viewport()->mapTo(view.get(), QPoint(0, 0)),
                             list->visualItemRect(list->item(0)).size());
            } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
                area = QRect(edit->viewport()->mapTo(view.get(), QPoint(0, 0)),
                             edit->viewport()->size() - QSize(4, 0));
            }
            EXPECT_GE(drawnContrast(image, area), 4.5)
                << screen << ": " << c->Name.toStdString() << "(" << c->Index << ") "
                << c->Caption().toStdString() << " at " << area.x() << "," << area.y() << " under "
                << GetParam().name;
        }
    }

private:
    QPalette oldPalette_;
    QString oldStyle_;
};

} // namespace

// Every text the window draws stands out from its own background by at
// least 4.5 : 1, under a light, a dark and a high-contrast scheme.
TEST_P(SchemeTest, EveryTextIsReadable)
{
    expectReadable({&form->seriesList, &form->instructionLine, &form->quitButton}, "series list");

    doubleClickEntry(1);
    ASSERT_EQ(form->quiz.terms(), 4);
    // One term as placed correctly, one as picked up, two at rest.
    form->terms[0].BackColor = Colors::rgb(0, 192, 192);
    form->terms[1].BackColor = Colors::White;
    view->sync();
    QList<const Control*> board = {&form->questionText, &form->headingText, &form->instructionLine, &form->quitButton};
    for (int i = 0; i < form->quiz.terms(); ++i) {
        board.append(&form->terms.at(i));
    }
    for (int i = 0; i < form->quiz.frames(); ++i) {
        board.append(&form->captions.at(i));
    }
    expectReadable(board, "board");

    form->resultMessage.setCaption(QStringLiteral("正解です。このシリーズは終わりです"));
    form->resultMessage.Visible = true;
    form->resultPanel.Visible = true;
    for (int i : {1, 2, 4, 5}) {
        form->resultButtons.at(i).Visible = true;
    }
    view->sync();
    expectReadable({&form->resultMessage, &form->resultButtons[ResultButton::Retry], &form->resultButtons[ResultButton::ToList], &form->resultButtons[ResultButton::Explanation],
                    &form->resultButtons[ResultButton::Mark]},
                   "result panel");

    form->explanationText.Text = QStringLiteral("ウニとヒトデは棘皮動物です。");
    form->explanationPanel.Visible = true;
    view->sync();
    expectReadable({&form->explanationText, &form->explanationBack}, "explanation");
    // The frame's caption, in its top left corner.
    const QImage image = view->grab().toImage();
    const QWidget* frame = widget(form->explanationPanel);
    EXPECT_GE(drawnContrast(image, QRect(frame->mapTo(view.get(), QPoint(8, 1)), QSize(32, 14))),
              4.5);

    AboutScreen model;
    model.load();
    AboutDialog about(model);
    const QImage aboutImage = about.grab().toImage();
    for (const QWidget* child : about.findChildren<QWidget*>()) {
        if (child->isVisibleTo(&about)) {
            EXPECT_GE(drawnContrast(aboutImage, child->geometry().adjusted(3, 3, -3, -3)), 4.5)
                << "About window under " << GetParam().name;
        }
    }
}

// The record window under each scheme: its texts stand out from their
// background, the charts lie on the scheme's background and their bars and
// line stand out from it as graphics must (3 : 1). Saves a picture of it for
// a person to look at.
TEST_P(SchemeTest, RecordWindowIsReadable)
{
    ProgressDialog dialog(sampleProgress());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QImage image = dialog.grab().toImage();
    const QString shots = TestFiles::binaryDir() + QStringLiteral("/view-screenshots");
    QDir().mkpath(shots);
    const QString name = QString::fromLatin1(GetParam().name).replace(u' ', u'-');
    ASSERT_TRUE(image.save(shots + QStringLiteral("/record-%1.png").arg(name)));

    const QColor back = QApplication::palette().color(QPalette::Base);
    const QTableWidget* table = dialog.table();
    EXPECT_GE(drawnContrast(image, QRect(table->viewport()->mapTo(&dialog, QPoint(0, 0)),
                                         table->visualItemRect(table->item(1, 0)).size())),
              4.5)
        << "the unselected row";
    for (QChartView* chartView : {dialog.dayChart(), dialog.weekChart()}) {
        SCOPED_TRACE(chartView->accessibleName().toStdString());
        const auto toDialog = [&](QPointF scene) {
            return chartView->viewport()->mapTo(&dialog, chartView->mapFromScene(scene));
        };
        const QRect plot(toDialog(chartView->chart()->plotArea().topLeft()),
                         toDialog(chartView->chart()->plotArea().bottomRight()));
        const QRect chart(chartView->viewport()->mapTo(&dialog, QPoint(0, 0)),
                          chartView->viewport()->size());
        EXPECT_EQ(image.pixelColor(chart.topLeft() + QPoint(2, 2)), back);
        const QRect title(chart.left(), chart.top(), chart.width(), plot.top() - chart.top() - 4);
        const QRect valueLabels(chart.left(), plot.top(), plot.left() - chart.left() - 4,
                                plot.height());
        const QRect dayLabels(plot.left(), plot.bottom() + 4, plot.width(),
                              chart.bottom() - plot.bottom() - 4);
        for (const QRect& text : {title, valueLabels, dayLabels}) {
            EXPECT_GE(drawnContrast(image, text), 4.5);
        }
        QAbstractSeries* series = chartView->chart()->series().first();
        // The last day's 8 answers; the 75 % of the week of 23 November.
        const QPointF point =
            qobject_cast<QBarSeries*>(series) != nullptr ? QPointF(29, 4) : QPointF(10, 75);
        const QColor data =
            image.pixelColor(toDialog(chartView->chart()->mapToPosition(point, series)));
        EXPECT_GE(ViewColors::contrast(data, back), 3.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Schemes, SchemeTest,
                         ::testing::Values(Scheme{"light", QPalette(QColor(239, 239, 239))},
                                           Scheme{"dark", darkPalette()},
                                           Scheme{"high contrast", highContrastPalette()}),
                         [](const auto& param) {
                             return std::string(param.index == 0   ? "Light"
                                                : param.index == 1 ? "Dark"
                                                                   : "HighContrast");
                         });

// A scheme changed while the program runs reaches the labels at once: the
// terms take the new button face and stay readable on it.
TEST_F(ViewFixture, ANewSchemeRecoloursTheItems)
{
    doubleClickEntry(1);
    ASSERT_EQ(form->quiz.terms(), 4);
    // The window's palette changes as the application's does while the
    // event loop runs.
    view->setPalette(darkPalette());
    const QWidget* term = widget(form->terms[2]);
    const QImage image = view->grab().toImage();
    const QRect area(term->mapTo(view.get(), QPoint(3, 3)), term->size() - QSize(6, 6));
    EXPECT_EQ(image.pixelColor(area.topLeft()), darkPalette().color(QPalette::Button));
    EXPECT_GE(drawnContrast(image, area), 4.5);
}

// The About text shows whole with any system font from 8 to 14 points; the
// design size is the least the window takes.
TEST(AboutWindow, GrowsWithTheSystemFont)
{
    const QFont oldFont = QApplication::font();
    AboutScreen model;
    model.load();
    for (int points = 8; points <= 14; ++points) {
        SCOPED_TRACE(points);
        QFont font = oldFont;
        font.setPointSize(points);
        QApplication::setFont(font);
        AboutDialog about(model);
        const QList<LabelWidget*> labels = about.findChildren<LabelWidget*>();
        ASSERT_EQ(labels.size(), 2);
        const LabelWidget* text = labels.at(0);
        const LabelWidget* version = labels.at(1);
        const QRectF needed =
            QFontMetricsF(text->font())
                .boundingRect(QRectF(0, 0, text->width(), 1e6),
                              Qt::TextWordWrap | Qt::TextWrapAnywhere, text->text());
        EXPECT_GE(text->height(), needed.height());
        const QFontMetricsF versionMetrics(version->font());
        EXPECT_GE(version->width(), versionMetrics.horizontalAdvance(version->text()));
        EXPECT_GE(version->height(), versionMetrics.height());
        // Nothing overlaps and everything lies inside the window.
        EXPECT_GE(version->y(), text->geometry().bottom() + 1);
        EXPECT_GE(about.okButton()->y(), version->geometry().bottom() + 1);
        EXPECT_TRUE(about.rect().contains(about.okButton()->geometry()));
        EXPECT_TRUE(about.rect().contains(version->geometry()));
        EXPECT_GE(about.width(), 377);
        EXPECT_GE(about.height(), 139);
    }
    QApplication::setFont(oldFont);
}

TEST(JapaneseFonts, FallbackPrefersTheIpaFacesThenTheList)
{
    using JapaneseFonts::choose;
    using JapaneseFonts::fallbackList;
    const QStringList all = {
        QStringLiteral("VL Gothic"),        QStringLiteral("VL PGothic"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans Mono CJK JP"),
        QStringLiteral("IPAGothic"),        QStringLiteral("IPAPGothic")};
    EXPECT_EQ(choose(fallbackList(true), all), QStringLiteral("IPAGothic"));
    EXPECT_EQ(choose(fallbackList(false), all), QStringLiteral("IPAPGothic"));
    const QStringList noIpa = all.mid(0, 4);
    EXPECT_EQ(choose(fallbackList(true), noIpa), QStringLiteral("Noto Sans Mono CJK JP"));
    EXPECT_EQ(choose(fallbackList(false), noIpa), QStringLiteral("Noto Sans CJK JP"));
    // Only one proportional face: the fixed-pitch design face takes it too.
    EXPECT_EQ(choose(fallbackList(true), {QStringLiteral("vl pgothic")}),
              QStringLiteral("vl pgothic"));
    EXPECT_EQ(choose(fallbackList(false), {QStringLiteral("DejaVu Sans")}), QString());
}

// Run here with the machine's fonts, and by ctest once more with only a
// non-IPA Japanese face installed: whichever face draws the labels, they keep
// their design heights and their text stays inside them.
TEST(ViewFonts, AnyJapaneseFaceDrawsInsideTheDesignHeights)
{
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    ASSERT_FALSE(japanese.isEmpty()) << "no Japanese font on this machine";
    const QFont term = QtFonts::toQFont({QString::fromUtf16(FontInfo::PGothic), 11.25, false});
    EXPECT_EQ(QFontInfo(term).family(),
              JapaneseFonts::choose(JapaneseFonts::fallbackList(false), japanese));
    const QFont caption = QtFonts::toQFont({QString::fromUtf16(FontInfo::Gothic), 12, true});
    EXPECT_EQ(QFontInfo(caption).family(),
              JapaneseFonts::choose(JapaneseFonts::fallbackList(true), japanese));

    QtTextMeasure measure;
    const struct {
        QFont font;
        FontInfo info;
        int designHeight;
    } cases[] = {{term, {QString::fromUtf16(FontInfo::PGothic), 11.25, false}, 285},
                 {caption, {QString::fromUtf16(FontInfo::Gothic), 12, true}, 300}};
    for (const auto& c : cases) {
        const QString text = QStringLiteral(" 棘皮ウニgy ");
        const QSizeF size = measure.measure(text, c.info);
        EXPECT_EQ(size.height() + 2 * 15, c.designHeight);
        // The ink of the label at its design height, and of the same label
        // with room to spare: the first must have lost nothing.
        QList<std::pair<int, int>> ink;
        for (int spare : {0, 20}) {
            LabelWidget label;
            label.setTextFont(c.font);
            label.setColors(Qt::white, Qt::black);
            label.setBorder(true);
            label.setWordWrap(false);
            label.setText(text);
            label.resize(static_cast<int>(std::ceil(size.width() / 15)) + 2,
                         c.designHeight / 15 + spare);
            const QImage image = label.grab().toImage();
            int top = image.height();
            int bottom = -1;
            for (int y = 1; y < image.height() - 1; ++y) {
                for (int x = 1; x < image.width() - 1; ++x) {
                    if (qGray(image.pixel(x, y)) < 160) {
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
                }
            }
            ink.append({top, bottom});
        }
        EXPECT_EQ(ink.at(0), ink.at(1)) << QFontInfo(c.font).family().toStdString();
        EXPECT_GE(ink.at(0).second - ink.at(0).first + 1, c.font.pixelSize() * 3 / 4);
    }
}
