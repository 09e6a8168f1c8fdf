#include "ViewFixture.h"

#include "measure/QtFonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QListWidget>

#include <cmath>

namespace
{

int px(float twips)
{
    return static_cast<int>(std::lround(twips / 15.0F));
}

// Every control's widget stands where the model puts it, in pixels, and is
// shown exactly when the model says so.
void expectWidgetsFollowModel(MainScreen& form, MainWindow& view)
{
    for (Control* c : form.stackingOrder()) {
        const QWidget* w = view.widgetOf(*c);
        ASSERT_NE(w, nullptr) << c->displayName().toStdString();
        const std::string name = c->displayName().toStdString();
        EXPECT_EQ(w->isHidden(), !c->Visible) << name;
        if (!c->Visible) {
            continue;
        }
        EXPECT_EQ(w->geometry(), QRect(px(c->Left), px(c->Top), px(c->Width), px(c->Height)))
            << name;
        const QWidget* expectedParent =
            c->Container != nullptr ? view.widgetOf(*c->Container) : &view;
        EXPECT_EQ(w->parentWidget(), expectedParent) << name;
    }
}

} // namespace

TEST_F(ViewFixture, SeriesListScreenMatchesTheModel)
{
    EXPECT_EQ(view->size(), QSize(622, 458));
    EXPECT_EQ(view->windowTitle(), QStringLiteral("用語分類問題集 Velmorant"));
    expectWidgetsFollowModel(*form, *view);

    // Start-up centred the picture in the outer width: (9450 - 4920) / 2.
    EXPECT_EQ(widget(form->titlePicture)->geometry(), QRect(151, 52, 328, 123));
    EXPECT_TRUE(widget(form->seriesList)->isVisible());
    EXPECT_FALSE(widget(form->terms[0])->isVisible());

    auto* list = qobject_cast<QListWidget*>(widget(form->seriesList));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("マークの付いた問題"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("動物の分類"));
    EXPECT_EQ(form->seriesList.ListIndex, -1);

    const QImage image = view->grab().toImage();
    EXPECT_EQ(image.pixelColor(5, 5), QColor(192, 255, 255));
    EXPECT_EQ(image.pixelColor(610, 300), QColor(192, 255, 255));
}

TEST_F(ViewFixture, ProblemBoardMatchesTheModel)
{
    doubleClickEntry(1);
    ASSERT_TRUE(form->quiz.open()) << "the double-click opens the series";
    EXPECT_EQ(view->windowTitle(), form->Caption);
    EXPECT_TRUE(view->windowTitle().contains(QStringLiteral("動物の分類")));
    expectWidgetsFollowModel(*form, *view);

    // Auto-sized labels are wide enough for their whole caption.
    for (int i = 0; i < form->quiz.terms(); ++i) {
        const Control& term = form->terms.at(i);
        ASSERT_TRUE(term.Visible);
        const QFontMetricsF metrics(QtFonts::toQFont(term.Font));
        EXPECT_GE(widget(term)->width() - 2 + 0.5, metrics.horizontalAdvance(term.Caption()))
            << term.Caption().toStdString();
        EXPECT_EQ(widget(term)->height(), 19);
    }
}

TEST_F(ViewFixture, ResizingReportsTheClientSizeAndMovesNothing)
{
    const QRect listBefore = widget(form->seriesList)->geometry();
    view->resize(700, 500);
    EXPECT_FLOAT_EQ(form->clientWidth(), 10500.0F);
    EXPECT_FLOAT_EQ(form->clientHeight(), 7500.0F);
    EXPECT_FLOAT_EQ(form->Width, 10620.0F) << "outer width includes the fixed frame";
    EXPECT_EQ(widget(form->seriesList)->geometry(), listBefore);
    // The design size is the least the window takes.
    view->resize(300, 200);
    EXPECT_EQ(view->size(), QSize(622, 458));
    view->resize(700, 500);

    // The next layout uses the new size: back on the list screen, the list
    // is centred in the new width.
    doubleClickEntry(1);
    ASSERT_FALSE(form->seriesList.Visible);
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->quitButton));
    ASSERT_TRUE(form->seriesList.Visible);
    EXPECT_EQ(widget(form->seriesList)->x(), px((10620.0F - form->seriesList.Width) / 2.0F));
}

TEST(ViewFonts, JapaneseFacesComeFromTheIpaFonts)
{
    if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
        GTEST_SKIP() << "the IPA fonts are not installed here";
    }
    const QFont pgothic = QtFonts::toQFont({QString::fromUtf16(FontInfo::PGothic), 11.25, false});
    EXPECT_EQ(QFontInfo(pgothic).family(), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(QFontInfo(pgothic).pixelSize(), 15);

    const QFont gothic = QtFonts::toQFont({QString::fromUtf16(FontInfo::Gothic), 12, true});
    EXPECT_EQ(QFontInfo(gothic).family(), QStringLiteral("IPAGothic"));
    EXPECT_EQ(QFontInfo(gothic).pixelSize(), 16);
    EXPECT_TRUE(QFontInfo(gothic).bold());

    EXPECT_EQ(QtFonts::pixelSize(9.75), 13);
    EXPECT_EQ(QtFonts::pixelSize(9), 12);
    EXPECT_EQ(QtFonts::toQFont({}), QApplication::font()) << "no face: the system font";
}

TEST(ViewFonts, AutoSizedLabelsTakeTheirDesignHeights)
{
    QTemporaryDir dir;
    QtTextMeasure measure;
    Session session(dir.path(), measure);

    Control& term = session.screen().terms[0];
    term.setCaption(QStringLiteral(" ウニ "));
    EXPECT_FLOAT_EQ(term.Height, 285.0F);
    const float shortWidth = term.Width;
    term.setCaption(QStringLiteral(" ウニヒトデ "));
    EXPECT_FLOAT_EQ(term.Height, 285.0F) << "one line whatever its length";
    EXPECT_GT(term.Width - shortWidth, 3 * 10 * 15.0F) << "three more full-width characters";
    EXPECT_LT(term.Width - shortWidth, 3 * 16 * 15.0F);

    Control& caption = session.screen().captions[0];
    caption.setCaption(QStringLiteral(" 棘皮動物 "));
    EXPECT_FLOAT_EQ(caption.Height, 300.0F);
    // Fixed pitch: four full-width characters of 16 px and two spaces of 8.
    EXPECT_NEAR(caption.Width, (4 * 16 + 2 * 8 + 2) * 15.0F, 15.0F);
}

TEST_F(ViewFixture, SixGroupBoardMatchesTheModelToThePixel)
{
    state().problems[1] = Problems::fromRecord(
        {QStringLiteral("問題１　次の生物を、それぞれが属する界や群に分類しなさい。"),
         QStringLiteral("大腸菌,ゾウリムシ,シイタケ,スギナ,ミミズ,アメーバ,コウジカビ,"
                        "ゼニゴケ,ネンジュモ,ヒドラ,サクラ,乳酸菌,"),
         QStringLiteral("細菌,原生生物,菌類,植物,動物,その他,"),
         QStringLiteral("1,2,3,4,5,2,3,4,1,5,4,1,"), QString()});
    state().currentProblem = 1;
    state().problemCount = 1;
    form->seriesList.Visible = false;
    form->titlePicture.Visible = false;
    form->showProblem(1);
    view->sync();
    ASSERT_EQ(form->quiz.frames(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_TRUE(widget(form->frames.at(c))->isVisible()) << c;
        EXPECT_TRUE(widget(form->captions.at(c))->isVisible()) << c;
    }
    expectWidgetsFollowModel(*form, *view);
    // The second row stands below the first, with its captions between.
    EXPECT_GT(widget(form->captions[3])->y(), widget(form->frames[0])->geometry().bottom() - 8);
    const QString shots = TestFiles::binaryDir() + QStringLiteral("/view-screenshots");
    QDir().mkpath(shots);
    EXPECT_TRUE(view->grab().save(shots + QStringLiteral("/six-groups.png")));
}
