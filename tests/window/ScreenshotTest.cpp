#include "ViewFixture.h"

#include "window/AboutDialog.h"

#include <QDir>
#include <QImage>

#include <cmath>

namespace
{

QString shotPath(const QString& name)
{
    const QString dir = TestFiles::binaryDir() + QStringLiteral("/view-screenshots");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

template <typename Match> int countPixels(const QImage& image, const QRect& area, Match match)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += match(image.pixelColor(x, y)) ? 1 : 0;
        }
    }
    return n;
}

} // namespace

// Saves pictures of both screens for a person to look at, and checks what
// can be checked by pixel.
TEST_F(ViewFixture, ScreensDrawAsDesigned)
{
    const QImage list = view->grab().toImage();
    ASSERT_TRUE(list.save(shotPath(QStringLiteral("series-list.png"))));
    const QRect picture = widget(form->titlePicture)->geometry();
    // The title picture fills the picture box inside its 3-D border.
    const QColor background(192, 255, 255);
    EXPECT_LT(countPixels(list, picture.adjusted(2, 2, -2, -2),
                          [&](const QColor& c) { return c == background; }),
              picture.width() * picture.height() / 4);
    EXPECT_EQ(list.pixelColor(picture.topLeft()), QColor(128, 128, 128)) << "sunken border";
    EXPECT_EQ(list.pixelColor(picture.bottomRight()), QColor(255, 255, 255));

    doubleClickEntry(1);
    const QImage board = view->grab().toImage();
    ASSERT_TRUE(board.save(shotPath(QStringLiteral("board.png"))));
    for (int i = 0; i < form->quiz.terms(); ++i) {
        const QRect label = widget(form->terms.at(i))->geometry();
        // (The question label may cover a term's top row of pixels.)
        EXPECT_EQ(board.pixelColor(label.bottomLeft()), QColor(Qt::black))
            << "border of term " << i;
        EXPECT_EQ(board.pixelColor(label.bottomRight()), QColor(Qt::black))
            << "border of term " << i;
        // Dark text on the light button face.
        EXPECT_GT(countPixels(board, label.adjusted(1, 1, -1, -1),
                              [](const QColor& c) { return c.lightness() < 100; }),
                  20)
            << "caption of term " << i;
    }
    for (int c = 0; c < form->quiz.frames(); ++c) {
        const QRect frame = widget(form->frames.at(c))->geometry();
        EXPECT_EQ(board.pixelColor(frame.topLeft() + QPoint(1, 1)),
                  QColor(Colors::red(form->frames.at(c).BorderColor),
                         Colors::green(form->frames.at(c).BorderColor),
                         Colors::blue(form->frames.at(c).BorderColor)))
            << "two-pixel border of frame " << c;
    }
}

TEST(AboutScreenshot, DrawsOnItsGreyBackground)
{
    AboutScreen model;
    model.load();
    AboutDialog about(model);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const QImage image = about.grab().toImage();
    ASSERT_TRUE(image.save(shotPath(QStringLiteral("about.png"))));
    EXPECT_EQ(image.size(), QSize(377, 139));
    EXPECT_EQ(image.pixelColor(370, 5), QColor(224, 224, 224));
    // The version line is blue.
    const QRect line(8, 88, 369, 13);
    EXPECT_GT(
        countPixels(image, line, [](const QColor& c) { return c.blue() > 200 && c.red() < 100; }),
        20);
}

TEST_F(ViewFixture, ResultAndExplanationPanelsDrawOverTheBoard)
{
    doubleClickEntry(1);
    ASSERT_EQ(form->quiz.terms(), 4);
    // Drag every term into the frame of its group.
    for (int i = 0; i < form->quiz.terms(); ++i) {
        const int group = (form->quiz.answerOf(i) + 1);
        ASSERT_GE(group, 1);
        const QPoint from = at(form->terms.at(i), QPoint(5, 5));
        const QPoint to = centreOf(form->frames.at(group - 1));
        QTest::mousePress(window(), Qt::LeftButton, {}, from);
        QTest::mouseMove(window(), (from + to) / 2);
        QTest::mouseMove(window(), to);
        QTest::mouseRelease(window(), Qt::LeftButton, {}, to);
    }
    ASSERT_FALSE(form->quiz.open()) << "solved";
    ASSERT_TRUE(form->resultPanel.Visible);

    const QImage result = view->grab().toImage();
    ASSERT_TRUE(result.save(shotPath(QStringLiteral("result.png"))));
    const QRect box = widget(form->resultPanel)->geometry();
    EXPECT_EQ(result.pixelColor(box.topLeft() + QPoint(1, 1)), QColor(0, 0, 255))
        << "three-pixel blue border";
    EXPECT_EQ(result.pixelColor(box.topLeft() + QPoint(3, 3)), QColor(224, 224, 224));
    // An term under the box is hidden by it (the row of result buttons
    // starts further right on the only problem of a series).
    ASSERT_FALSE(form->resultButtons[ResultButton::Next].Visible);
    ASSERT_FALSE(form->resultButtons[ResultButton::Previous].Visible);
    form->terms[0].Left = 1500;
    form->terms[0].Top = 1420;
    view->sync();
    const QRect under = widget(form->terms[0])->geometry();
    ASSERT_TRUE(box.contains(under));
    const QImage covered = view->grab().toImage();
    EXPECT_EQ(covered.pixelColor(under.topLeft()), QColor(224, 224, 224));
    EXPECT_EQ(covered.pixelColor(under.center()), QColor(224, 224, 224));

    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->resultButtons[ResultButton::Explanation]));
    ASSERT_TRUE(form->explanationPanel.Visible) << "the explanation";
    const QImage explanation = view->grab().toImage();
    ASSERT_TRUE(explanation.save(shotPath(QStringLiteral("explanation.png"))));
    const QRect frame = widget(form->explanationPanel)->geometry();
    EXPECT_EQ(explanation.pixelColor(frame.topLeft() + QPoint(2, 2)), QColor(255, 255, 255));
    auto* text = widget(form->explanationText);
    EXPECT_EQ(text->mapTo(view.get(), QPoint(0, 0)), frame.topLeft() + QPoint(16, 16));
}

// Run once more at each fractional scale (QT_SCALE_FACTOR): every side of
// the terms in frames keeps its black line in device pixels.
TEST_F(ViewFixture, TermBordersStayWholeAtAnyScale)
{
    doubleClickEntry(1);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(widget(form->terms.at(i)), i < 2 ? Qt::Key_1 : Qt::Key_2);
    }
    ASSERT_EQ(form->quiz.termsIn(0).value(1), 1) << "two terms stacked in frame 1";
    const QImage shot = view->grab().toImage();
    const qreal dpr = shot.devicePixelRatio();
    // Drawn at the scale its ctest entry sets, not at 1 where every line is whole.
    if (const QByteArray scale = qgetenv("QT_SCALE_FACTOR"); !scale.isEmpty()) {
        ASSERT_NEAR(dpr, scale.toDouble(), 0.01);
    }
    const auto blackIn = [&shot](const QRect& area) {
        return countPixels(shot, area, [](const QColor& c) { return c == Qt::black; }) > 0;
    };
    for (int i = 0; i < 3; ++i) {
        const QRectF r(widget(form->terms.at(i))->geometry());
        // The device pixels of the outermost logical pixel on each side.
        const QRectF d(r.topLeft() * dpr, r.size() * dpr);
        const int midX = static_cast<int>(d.center().x());
        const int midY = static_cast<int>(d.center().y());
        const int edge = static_cast<int>(std::ceil(dpr)) - 1;
        const int left = static_cast<int>(d.left());
        const int top = static_cast<int>(d.top());
        const int right = static_cast<int>(std::ceil(d.right())) - 1;
        const int bottom = static_cast<int>(std::ceil(d.bottom())) - 1;
        EXPECT_TRUE(blackIn(QRect(QPoint(left, midY), QPoint(left + edge, midY))))
            << "left side of term " << i << " at scale " << dpr;
        EXPECT_TRUE(blackIn(QRect(QPoint(midX, top), QPoint(midX, top + edge))))
            << "top side of term " << i << " at scale " << dpr;
        EXPECT_TRUE(blackIn(QRect(QPoint(right - edge, midY), QPoint(right, midY))))
            << "right side of term " << i << " at scale " << dpr;
        EXPECT_TRUE(blackIn(QRect(QPoint(midX, bottom - edge), QPoint(midX, bottom))))
            << "bottom side of term " << i << " at scale " << dpr;
    }
}
