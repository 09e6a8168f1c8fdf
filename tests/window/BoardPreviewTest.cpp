#include "ViewFixture.h"

#include "window/BoardPreview.h"

#include <QDir>
#include <QImage>

namespace
{

// Three problems; the second has an answer letter beyond the groups, so the
// program leaves it out and the third becomes problem 2.
QByteArray threeProblems(const QString& firstQuestion)
{
    return TestFiles::lines({
        firstQuestion,
        QStringLiteral("Ａ群"),
        QStringLiteral("・ウニ　・ヒトデ　・イカ　・タコ"),
        QStringLiteral("Ｂ群"),
        QStringLiteral("ａ．棘皮動物　ｂ．軟体動物"),
        QStringLiteral("正解a,a,b,b,"),
        QStringLiteral("問題２　正解の記号が違う問題"),
        QStringLiteral("Ａ群"),
        QStringLiteral("・アリ"),
        QStringLiteral("Ｂ群"),
        QStringLiteral("ａ．昆虫"),
        QStringLiteral("正解g,"),
        QStringLiteral("問題３　次の生物を分類しなさい。"),
        QStringLiteral("Ａ群"),
        QStringLiteral("・スズメ　・コイ　・カエル　・ヘビ　・カメ　・イルカ　・ペンギン"),
        QStringLiteral("Ｂ群"),
        QStringLiteral("ａ．鳥類　ｂ．魚類　ｃ．両生類　ｄ．爬虫類　ｅ．哺乳類"),
        QStringLiteral("正解a,b,c,d,d,e,a,"),
    });
}

QString readText(const QString& path)
{
    return QString::fromUtf8(TestFiles::readAll(path));
}

} // namespace

// A picture is the program's own window at that problem, to the pixel.
TEST_F(ViewFixture, PreviewPictureIsTheProgramWindow)
{
    const QString series = path(QStringLiteral("Animals.TXT"));
    TestFiles::write(series, threeProblems(QStringLiteral("問題１　次の動物を分類しなさい。")));
    doubleClickEntry(1);
    ASSERT_EQ(state().problemCount, 2);
    ASSERT_EQ(dialogs.messages.size(), 1) << "the problem left out";
    QTest::mouseClick(window(), Qt::LeftButton, {}, centreOf(form->arrows[Arrow::Next]));
    ASSERT_EQ(state().currentProblem, 2);
    ASSERT_EQ(form->quiz.frames(), 5);
    QTest::mouseMove(window(), QPoint(1, 1));
    if (QWidget* focused = view->focusWidget()) {
        focused->clearFocus();
    }
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);

    const QString out = path(QStringLiteral("out"));
    QString error;
    QList<BoardPreview::SeriesResult> results;
    ASSERT_TRUE(
        BoardPreview::write(out, {{series, QStringLiteral("動物の分類")}}, &error, &results))
        << error.toStdString();
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results[0].pictures, (QStringList{QStringLiteral("Animals.TXT-01.png"),
                                                QStringLiteral("Animals.TXT-02.png")}));
    EXPECT_EQ(results[0].notes, QStringList{dialogs.messages[0].text});

    QImage drawn(QDir(out).filePath(QStringLiteral("Animals.TXT-02.png")));
    ASSERT_FALSE(drawn.isNull());
    drawn = drawn.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(drawn.size(), QSize(622, 458));
    ASSERT_EQ(shown.size(), QSize(622, 458));
    int differing = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            differing += drawn.pixel(x, y) != shown.pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0);
    if (differing != 0) {
        drawn.save(TestFiles::binaryDir() + QStringLiteral("/preview-drawn.png"));
        shown.save(TestFiles::binaryDir() + QStringLiteral("/preview-shown.png"));
    }
}

// The index shows every picture under its heading, series by series, and
// says why a series has none; text from the files is never taken for HTML.
TEST_F(ViewFixture, PreviewIndexListsEveryPictureWithItsHeading)
{
    const QString series = path(QStringLiteral("Animals.TXT"));
    TestFiles::write(series, threeProblems(QStringLiteral("問題１　<ウニ>と&%1を分類しなさい。")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("sub")));
    const QString sameName = path(QStringLiteral("sub/Animals.TXT"));
    TestFiles::write(sameName, TestFiles::readAll(series));

    const QString out = path(QStringLiteral("new/out"));
    QString error;
    QList<BoardPreview::SeriesResult> results;
    ASSERT_TRUE(BoardPreview::write(out,
                                    {{series, QStringLiteral("動物 <1> & \"%2\"")},
                                     {path(QStringLiteral("Missing.TXT")), QString()},
                                     {sameName, QString()}},
                                    &error, &results))
        << error.toStdString();
    ASSERT_EQ(results.size(), 3);
    EXPECT_TRUE(results[1].pictures.isEmpty());
    EXPECT_EQ(results[2].pictures, (QStringList{QStringLiteral("Animals.TXT_2-01.png"),
                                                QStringLiteral("Animals.TXT_2-02.png")}))
        << "a second file of the same name keeps its own pictures";

    const QString page = readText(QDir(out).filePath(QStringLiteral("index.html")));
    EXPECT_TRUE(page.contains(QStringLiteral("<html lang=\"ja\">")));
    EXPECT_TRUE(page.contains(QStringLiteral("<h2>動物 &lt;1&gt; &amp; &quot;%2&quot; ")));
    EXPECT_FALSE(page.contains(QStringLiteral("<ウニ>")));
    qsizetype at = 0;
    for (const auto& result : results) {
        for (int n = 0; n < result.pictures.size(); ++n) {
            const QString& name = result.pictures[n];
            EXPECT_TRUE(QFileInfo(QDir(out).filePath(name)).isFile()) << name.toStdString();
            const QString heading =
                n == 0 ? QStringLiteral("問題１　&lt;ウニ&gt;と&amp;%1を分類しなさい。")
                       : QStringLiteral("問題３　次の生物を分類しなさい。");
            const QString figure = QStringLiteral("<figcaption>%1　%2</figcaption><a href=\"%3\">"
                                                  "<img src=\"%3\" width=\"622\" height=\"458\"")
                                       .arg(QString::number(n + 1), heading, name);
            const qsizetype found = page.indexOf(figure, at);
            EXPECT_GT(found, at) << "in order: " << figure.toStdString();
            at = std::max(at, found);
        }
    }
    EXPECT_TRUE(page.contains(QStringLiteral("表示できる問題はありません")));
    EXPECT_TRUE(page.contains(QStringLiteral("Missing.TXT」が見つかりません")));
}

TEST_F(ViewFixture, PreviewWriteFailuresAreReported)
{
    const QString series = path(QStringLiteral("Animals.TXT"));
    QString error;
    // The output folder is a file.
    TestFiles::write(path(QStringLiteral("out")), "x");
    EXPECT_FALSE(BoardPreview::write(path(QStringLiteral("out")), {{series, QString()}}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("作れません"))) << error.toStdString();
    // The disk fills up while a picture is written: no half picture is left.
    error.clear();
    {
        const TestFiles::FileSizeLimit limit(4000);
        EXPECT_FALSE(
            BoardPreview::write(path(QStringLiteral("out3")), {{series, QString()}}, &error));
    }
    EXPECT_TRUE(error.contains(QStringLiteral("Animals.TXT-01.png」を書き込めません")))
        << error.toStdString();
    EXPECT_TRUE(QDir(path(QStringLiteral("out3"))).isEmpty(QDir::Files | QDir::Hidden));
}
