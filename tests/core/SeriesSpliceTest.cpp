#include "series/SeriesSplice.h"
#include "files/TextFile.h"
#include "series/SeriesFiles.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

using SeriesSplice::Edited;

// Every spelling the reader takes: both words of each heading, an indented
// heading, marks ・ ① ア．ａ．, lists wrapped by a wide or a narrow blank
// and parted by both, a question over two lines, answers with 「,」 and
// 「、」, explanations with and without 解説 over several lines, notes
// before 解説, blank lines doubled, a title before the first problem.
const QStringList Lines{
    QStringLiteral("化学の基礎　（この行は読み飛ばされます）"),
    QString(),
    QStringLiteral("問題１　次の物質を、単体と化合物に分類しなさい。"),
    QStringLiteral("Ａ群"),
    QStringLiteral("・水素　・水　・酸素"),
    QStringLiteral("　・二酸化炭素 ・鉄"),
    QStringLiteral("Ｂ群"),
    QStringLiteral("ア．単体　イ．化合物"),
    QStringLiteral("正解a,b,a,b,a,"),
    QStringLiteral("解説"),
    QStringLiteral("水素・酸素・鉄は1種類の元素からなる単体。"),
    QStringLiteral("水と二酸化炭素は化合物。"),
    QString(),
    QStringLiteral("設問２　次の変化を、"),
    QStringLiteral("物理変化と化学変化に分けなさい。"),
    QStringLiteral("語群"),
    QStringLiteral("①氷がとける ②鉄がさびる ③紙が燃える"),
    QStringLiteral(" ④砂糖が水にとける"),
    QStringLiteral("分類群"),
    QStringLiteral("ａ．物理変化　ｂ．化学変化"),
    QStringLiteral("解答a、b、b、a、"),
    QStringLiteral("状態だけが変わるのが物理変化。"),
    QStringLiteral("別の物質ができるのが化学変化。"),
    QString(),
    QString(),
    QStringLiteral("問題３ 次の気体を分けなさい。"),
    QStringLiteral("　語群"),
    QStringLiteral("・窒素 ・酸素 ・アンモニア"),
    QStringLiteral("Ｂ群"),
    QStringLiteral("ａ．水に溶けにくい　ｂ．水に溶けやすい"),
    QStringLiteral("正解a,a,b,"),
    QStringLiteral("作成メモ：教科書p.12"),
    QStringLiteral("解説"),
    QStringLiteral("アンモニアは水によく溶ける。"),
};

// The file's text as the editor has it, and the form's problems of it.
struct Read {
    QStringList base;
    QList<Edited> form;
};

Read readBytes(const QByteArray& bytes)
{
    const TextFile::ReadResult file = TextFile::decode(bytes);
    Read r;
    r.base = file.texts() + QStringList{QString()}; // the last line ends too
    const SeriesParser::Result parsed = SeriesParser::parse(r.base);
    for (qsizetype i = 0; i < parsed.problems.size(); ++i) {
        r.form.append({SeriesSplice::formOf(parsed.problems.at(i)), static_cast<int>(i)});
    }
    return r;
}

} // namespace

// One term changed in the form and saved: the file's bytes (code page 932,
// CR LF) differ in that term's line alone.
TEST(SeriesSplice, SavingOneFieldChangesItsLineAlone)
{
    QTemporaryDir dir;
    const QString name = QStringLiteral("Chem.TXT");
    const QByteArray before = TestFiles::lines(Lines);
    TestFiles::write(dir.filePath(name), before);
    Read r = readBytes(before);
    ASSERT_EQ(r.form.size(), 3);
    r.form[0].problem.terms[1] = QStringLiteral("水蒸気");
    const SeriesFiles::Saved saved = SeriesFiles::save(
        dir.path(), name, *SeriesSplice::write(r.base, r.form), SeriesFiles::versionOf(before));
    ASSERT_EQ(saved.status, 200) << saved.error.toStdString();
    QStringList want = Lines;
    want[4] = QStringLiteral("・水素　・水蒸気　・酸素");
    EXPECT_EQ(TestFiles::readAll(dir.filePath(name)), TestFiles::lines(want));
}

// A changed part keeps its heading word, marks, separators, entries to a
// line, the lines of an explanation it does not change and the lines
// around it; moved problems keep their lines, the blank
// lines between problems stay in place; a new problem is written whole.
TEST(SeriesSplice, ChangedPartsKeepTheFilesSpelling)
{
    const Read r = readBytes(TestFiles::lines(Lines));
    QList<Edited> form = r.form;
    form[1].problem.groupOfTerm = {1, 2, 2, 2};
    form[1].problem.groups.append(QStringLiteral("どちらでもない"));
    form[1].problem.explanation.replace(QStringLiteral("できるのが"), QStringLiteral("できるのは"));
    form[2].problem.explanation = QStringLiteral("　アンモニアは水に溶けやすい。");
    form[2].problem.heading = QStringLiteral("問題１");
    form[0].problem.heading = QStringLiteral("問題３");
    form[0].problem.terms.append(QStringLiteral("窒素"));
    form[0].problem.groupOfTerm.append(1);
    std::swap(form[0], form[2]);
    Problem added;
    added.heading = QStringLiteral("問題４");
    added.question = QStringLiteral("次を分けなさい。");
    added.terms = QStringList{QStringLiteral("甲")};
    added.groups = QStringList{QStringLiteral("一")};
    added.groupOfTerm = {1};
    form.append({added, -1});
    const QStringList out = SeriesSplice::write(r.base, form)->split(QLatin1Char('\n'));
    QStringList want = Lines.mid(0, 2);
    want += {QStringLiteral("問題１ 次の気体を分けなさい。"),
             Lines.at(26),
             Lines.at(27),
             Lines.at(28),
             Lines.at(29),
             Lines.at(30),
             Lines.at(31),
             Lines.at(32),
             QStringLiteral("アンモニアは水に溶けやすい。"),
             QString()};
    want += Lines.mid(13, 6);
    want += {QStringLiteral("ａ．物理変化　ｂ．化学変化　ｃ．どちらでもない"),
             QStringLiteral("解答a、b、b、b、"),
             Lines.at(21),
             QStringLiteral("別の物質ができるのは化学変化。"),
             QString(),
             QString()};
    want += {QStringLiteral("問題３　次の物質を、単体と化合物に分類しなさい。"),
             Lines.at(3),
             Lines.at(4),
             QStringLiteral("　・二酸化炭素　・鉄　・窒素"),
             Lines.at(6),
             Lines.at(7),
             QStringLiteral("正解a,b,a,b,a,a,")};
    want += Lines.mid(9, 3);
    want += {QString(),
             QStringLiteral("問題４　次を分けなさい。"),
             QStringLiteral("Ａ群"),
             QStringLiteral("・甲"),
             QStringLiteral("Ｂ群"),
             QStringLiteral("ａ．一"),
             QStringLiteral("正解a,"),
             QString()};
    EXPECT_EQ(out, want);
}

// An explanation typed on after a pause: the text added after a line goes
// on that line (its trailing blank dropped, as the reader drops it), and the
// file reads back as the form had it; text put between two lines it does
// not touch goes on the first of them.
TEST(SeriesSplice, TextTypedOnAfterALineGoesOnThatLine)
{
    QStringList lines = Lines;
    lines[33] += QStringLiteral("　");
    const Read r = readBytes(TestFiles::lines(lines));
    QList<Edited> form = r.form;
    form[2].problem.explanation += QStringLiteral("窒素は溶けにくい。");
    form[0].problem.explanation.replace(QStringLiteral("単体。水と"),
                                        QStringLiteral("単体。一方、水と"));
    const QString out = *SeriesSplice::write(r.base, form);
    QStringList want = Lines;
    want[33] = QStringLiteral("アンモニアは水によく溶ける。窒素は溶けにくい。");
    want[10] = QStringLiteral("水素・酸素・鉄は1種類の元素からなる単体。一方、");
    EXPECT_EQ(out.split(QLatin1Char('\n')), want + QStringList{QString()});
    const SeriesParser::Result back = SeriesParser::parse(out.split(QLatin1Char('\n')));
    ASSERT_EQ(back.problems.size(), 3);
    EXPECT_EQ(back.problems.at(2).problem.explanation, form[2].problem.explanation);
    EXPECT_EQ(back.problems.at(0).problem.explanation, form[0].problem.explanation);
}
