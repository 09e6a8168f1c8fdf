// The class report of a made-up class whose every figure is known.
#include "record/AnswerLog.h"
#include "record/ProblemId.h"
#include "report/ClassFolder.h"
#include "report/ReportFiles.h"
#include "series/SeriesLoader.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

struct Shown {
    QString hash;
    QString heading;
    QStringList terms;
    QStringList groups;
    QList<int> correct;
};

qint64 at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute)).toMSecsSinceEpoch();
}

Answer answer(const QString& learner, const Shown& p, QList<int> placed, int attempt, qint64 when,
              qint64 durationMs)
{
    Answer a;
    a.learner = a.learnerName = learner;
    a.series = QStringLiteral("S.TXT");
    a.problemHash = p.hash;
    a.heading = p.heading;
    a.question = QStringLiteral(" どれに入るか");
    a.terms = p.terms;
    a.groups = p.groups;
    a.correct = p.correct;
    a.placed = std::move(placed);
    for (qsizetype i = 0; i < a.placed.size(); ++i) {
        a.right += a.placed.at(i) == a.correct.at(i) ? 1 : 0;
    }
    a.success = a.right == a.terms.size();
    a.durationMs = durationMs;
    a.timestampMs = when;
    a.id = QUuid::createUuid();
    a.attempt = attempt;
    return a;
}

class ClassReportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestFiles::write(
            dir.filePath(QStringLiteral("S.TXT")),
            TestFiles::lines({QStringLiteral("問題1 どれに入るか"), QStringLiteral("Ａ群"),
                              QStringLiteral("・ウニ ・ヒトデ ・エビ"), QStringLiteral("Ｂ群"),
                              QStringLiteral("ａ．棘皮動物 ｂ．節足動物"),
                              QStringLiteral("正解a,a,b,"), QStringLiteral("説明"),
                              QStringLiteral("問題2 どれに入るか"), QStringLiteral("Ａ群"),
                              QStringLiteral("・a ・b"), QStringLiteral("Ｂ群"),
                              QStringLiteral("ａ．X ｂ．Y"), QStringLiteral("正解a,b,"),
                              QStringLiteral("説明")}));
        const SeriesLoader::Series read = SeriesLoader::load(dir.filePath(QStringLiteral("S.TXT")));
        ASSERT_EQ(read.usable.size(), 2);
        const QStringList keys = ProblemIds::keysOf(read.usable);
        for (int i = 0; i < 2; ++i) {
            const Problem& p = read.usable.at(i);
            shown[i] = {keys.at(i), p.heading, p.terms, p.groups, p.groupOfTerm};
        }
        // Answered before the file changed: its text is gone.
        shown[2] = {QStringLiteral("0123456789abcdef"),
                    QStringLiteral("問題3<x>"),
                    {QStringLiteral("カニ"), QStringLiteral("イカ")},
                    {QStringLiteral("節足"), QStringLiteral("軟体")},
                    {1, 2}};
    }

    void log(const Answer& a) { ASSERT_EQ(AnswerLog(dir.path(), a.learner).append(a), QString()); }

    QTemporaryDir dir;
    Shown shown[3];
};

} // namespace

TEST_F(ClassReportTest, EveryFigureOfAMadeUpClass)
{
    const Shown& p1 = shown[0];
    const Shown& p2 = shown[1];
    log(answer(QStringLiteral("taro"), p1, {1, 2, 2}, 1, at(1, 9, 0), 10000));
    // A showing's time is its last check's: 15 s here, not 10 + 15.
    log(answer(QStringLiteral("taro"), p1, {1, 1, 2}, 2, at(1, 9, 1), 15000));
    log(answer(QStringLiteral("taro"), p2, {1, 2}, 1, at(1, 9, 5), 3000));
    log(answer(QStringLiteral("taro"), p1, {1, 1, 2}, 1, at(2, 10, 0), 4000));
    log(answer(QStringLiteral("さくら"), p1, {2, 2, 2}, 1, at(1, 11, 0), 8000));
    log(answer(QStringLiteral("さくら"), p1, {1, 2, 2}, 2, at(1, 11, 2), 14000));
    log(answer(QStringLiteral("さくら"), shown[2], {1, 2}, 1, at(3, 8, 0), 2500));
    const Answer twice = answer(QStringLiteral("hana"), p2, {2, 1}, 1, at(2, 13, 0), 7000);
    log(twice);
    log(twice); // a copied line: one answer
    const QString hanaLog = AnswerLog(dir.path(), QStringLiteral("hana")).path();
    {
        QFile file(hanaLog);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("{\"id\": \"broken\n");
    }

    const ClassReport::Report report = ClassFolder::report(dir.path());
    // Compared as bytes: the mark at the start is part of what is checked.
    const auto utf8 = [](const QString& text) { return text.toUtf8().toStdString(); };
    EXPECT_EQ(
        ReportFiles::resultsCsv(report).toStdString(),
        utf8(QStringLiteral(
            "\uFEFF学習者,問題集,問題集ファイル,見出し,初回正解,出題回数,答え合わせ回数,最後の正解,"
            "最後の回答日時,所要時間(秒),注記\r\n"
            "hana,S.TXT,S.TXT,問題2,0,1,1,0,2026-12-02 13:00:00,7.0,\r\n"
            "taro,S.TXT,S.TXT,問題1,0,2,3,1,2026-12-02 10:00:00,19.0,\r\n"
            "taro,S.TXT,S.TXT,問題2,1,1,1,1,2026-12-01 09:05:00,3.0,\r\n"
            "さくら,S.TXT,S.TXT,問題1,0,1,2,0,2026-12-01 11:02:00,14.0,\r\n"
            "さくら,S.TXT,S.TXT,問題3<x>,1,1,1,1,2026-12-03 08:00:00,2.5,"
            "問題集ファイルのこの問題は変わったか、なくなっています\r\n")));
    // Confusions at first checks: さくら's second check, with ヒトデ in the
    // wrong group again, does not count again.
    EXPECT_EQ(
        ReportFiles::confusionsCsv(report).toStdString(),
        utf8(QStringLiteral(
            "\uFEFF問題集,問題集ファイル,見出し,項目,置いた分類群,正しい分類群,学習者数,回数\r\n"
            "S.TXT,S.TXT,問題1,ヒトデ,節足動物,棘皮動物,2,2\r\n"
            "S.TXT,S.TXT,問題1,ウニ,節足動物,棘皮動物,1,1\r\n"
            "S.TXT,S.TXT,問題2,a,Y,X,1,1\r\n"
            "S.TXT,S.TXT,問題2,b,X,Y,1,1\r\n")));
    // Each term's share put right at first checks (taro twice and さくら
    // once on problem 1; taro and hana on problem 2).
    EXPECT_EQ(ReportFiles::termsCsv(report).toStdString(),
              utf8(QStringLiteral(
                  "\uFEFF問題集,問題集ファイル,見出し,項目,正しい分類群,初回の答え合わせ回数,"
                  "正しく置いた回数,正解率(%)\r\n"
                  "S.TXT,S.TXT,問題1,ウニ,棘皮動物,3,2,67\r\n"
                  "S.TXT,S.TXT,問題1,ヒトデ,棘皮動物,3,1,33\r\n"
                  "S.TXT,S.TXT,問題1,エビ,節足動物,3,3,100\r\n"
                  "S.TXT,S.TXT,問題2,a,X,2,1,50\r\n"
                  "S.TXT,S.TXT,問題2,b,Y,2,1,50\r\n"
                  "S.TXT,S.TXT,問題3<x>,カニ,節足,1,1,100\r\n"
                  "S.TXT,S.TXT,問題3<x>,イカ,軟体,1,1,100\r\n")));

    // The page: the hardest problems first, answers per day, what was left
    // out with its place, the text escaped.
    QStringList hardest;
    for (const ClassReport::ProblemSummary& p : ClassReport::hardest(report)) {
        hardest.append(QStringLiteral("%1 %2/%3").arg(p.heading).arg(p.firstRight).arg(p.learners));
    }
    EXPECT_EQ(hardest.join(' '), QStringLiteral("問題1 0/2 問題2 1/2 問題3<x> 1/1"));
    QStringList days;
    for (const ClassReport::DayCount& d : report.days) {
        days.append(QStringLiteral("%1:%2").arg(d.day.toString(Qt::ISODate)).arg(d.checks));
    }
    EXPECT_EQ(days.join(' '), QStringLiteral("2026-12-01:5 2026-12-02:2 2026-12-03:1"));
    EXPECT_EQ(report.statements, 8);
    ASSERT_EQ(report.leftOut.size(), 2);
    const QString hanaFile = QStringLiteral("records/") + QFileInfo(hanaLog).fileName();
    EXPECT_EQ(report.leftOut.at(0).file, hanaFile);
    EXPECT_EQ(report.leftOut.at(0).line, 3) << report.leftOut.at(0).reason.toStdString();
    EXPECT_TRUE(report.leftOut.at(1).reason.startsWith(QStringLiteral("1件の文は")));
    const QString page = QString::fromUtf8(ReportFiles::indexHtml(report, QStringLiteral("組")));
    EXPECT_TRUE(page.contains(QStringLiteral("問題3&lt;x&gt;")));
    EXPECT_FALSE(page.contains(QStringLiteral("<x>")));
    EXPECT_TRUE(page.contains(QStringLiteral("<td>%1</td><td class=\"num\">3</td>").arg(hanaFile)));
    EXPECT_EQ(page.count(QStringLiteral("<td class=\"right\">○</td>")), 2); // taro 問2, さくら 問3
    EXPECT_EQ(page.count(QStringLiteral("<td class=\"wrong\">×</td>")), 3);
    EXPECT_FALSE(page.contains(QStringLiteral("<script")));
    // A learner's text that a spreadsheet would run as a formula stays text.
    EXPECT_EQ(ReportFiles::csvField(QStringLiteral("=HYPERLINK(\"x\")")),
              QStringLiteral("\"'=HYPERLINK(\"\"x\"\")\""));
}

// Names and texts holding %1..%9 are printed as they are written: no text
// of a learner or a teacher is taken for a place to fill.
TEST_F(ClassReportTest, PercentSignsInNamesAndTextsStayAsWritten)
{
    const Shown p{QStringLiteral("0123456789abcdef-1"),
                  QStringLiteral("問題%1"),
                  {QStringLiteral("%2"), QStringLiteral("%3%4")},
                  {QStringLiteral("%5"), QStringLiteral("%6")},
                  {1, 2}};
    Answer a = answer(QStringLiteral("%1%2%3"), p, {1, 1}, 1, at(1, 9, 0), 4000);
    a.series = QStringLiteral("%7%8%9.TXT");
    const ClassReport::Report report = ClassReport::of({a});
    const auto utf8 = [](const QString& text) { return text.toUtf8().toStdString(); };
    EXPECT_EQ(ReportFiles::resultsCsv(report).toStdString(),
              utf8(QStringLiteral(
                  "\uFEFF学習者,問題集,問題集ファイル,見出し,初回正解,出題回数,答え合わせ回数,"
                  "最後の正解,最後の回答日時,所要時間(秒),注記\r\n"
                  "%1%2%3,%7%8%9.TXT,%7%8%9.TXT,問題%1,0,1,1,0,2026-12-01 09:00:00,4.0,\r\n")));
    EXPECT_EQ(ReportFiles::termsCsv(report).toStdString(),
              utf8(QStringLiteral(
                  "\uFEFF問題集,問題集ファイル,見出し,項目,正しい分類群,初回の答え合わせ回数,"
                  "正しく置いた回数,正解率(%)\r\n"
                  "%7%8%9.TXT,%7%8%9.TXT,問題%1,%2,%5,1,1,100\r\n"
                  "%7%8%9.TXT,%7%8%9.TXT,問題%1,%3%4,%6,1,0,0\r\n")));
    const QString page = QString::fromUtf8(ReportFiles::indexHtml(report, QStringLiteral("%1組")));
    EXPECT_TRUE(page.contains(QStringLiteral("<title>%1組</title>")));
    EXPECT_TRUE(page.contains(QStringLiteral("<h3 title=\"%7%8%9.TXT\">%7%8%9.TXT（1問）</h3>")));
    EXPECT_TRUE(page.contains(QStringLiteral("title=\"問題%1\">問題%1</th>")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "<tr><th>%1%2%3</th><td class=\"wrong\">×</td><td class=\"num\">0/1</td></tr>")));
    EXPECT_TRUE(page.contains(
        QStringLiteral("<tr><td title=\"%7%8%9.TXT\">%7%8%9.TXT</td><td>問題%1</td><td "
                       "class=\"num\">0% <span class=\"scale\"><span "
                       "class=\"bar\" style=\"width:0%\"></span></span></td><td "
                       "class=\"num\">0/1</td></tr>")));
    EXPECT_TRUE(page.contains(
        QStringLiteral("<tr><td title=\"%7%8%9.TXT\">%7%8%9.TXT</td><td>問題%1</td><td>%3%4</td>"
                       "<td>%5</td><td>%6</td><td class=\"num\">1</td></tr>")));
    EXPECT_TRUE(page.contains(
        QStringLiteral("<tr><td title=\"%7%8%9.TXT\">%7%8%9.TXT</td><td>問題%1</td><td>%3%4</td>"
                       "<td>%6</td><td class=\"num\">0%</td>"
                       "<td class=\"num\">0/1</td></tr>")));
}

// Two classes side by side: each problem's first-check right share per
// class; the grade book's rows, one per learner in the order given, and
// text a spreadsheet would run kept as text.
TEST_F(ClassReportTest, ClassesComparedAndTheGradeBookOfEachLearner)
{
    const Shown& p1 = shown[0];
    const Shown& p2 = shown[1];
    ClassReport::Report report = ClassReport::of({
        answer(QStringLiteral("1A a"), p1, {1, 1, 2}, 1, at(1, 9, 0), 1000),
        answer(QStringLiteral("1A a"), p2, {1, 2}, 1, at(1, 9, 1), 1000),
        answer(QStringLiteral("1A b"), p1, {1, 2, 2}, 1, at(2, 9, 0), 1000),
        answer(QStringLiteral("1B c"), p1, {1, 2, 2}, 1, at(3, 9, 0), 1000),
        answer(QStringLiteral("1B c"), p1, {1, 1, 2}, 1, at(4, 9, 0), 1000),
        answer(QStringLiteral("1B =d"), p1, {2, 2, 2}, 1, at(3, 9, 0), 1000),
        answer(QStringLiteral("1B =d"), p1, {1, 1, 2}, 2, at(3, 9, 1), 1000),
    });
    report.titles.insert(QStringLiteral("S.TXT"), QStringLiteral("@生物, 1"));
    ClassReport::placeLearners(
        &report,
        {QStringLiteral("1A b"), QStringLiteral("1A a"), QStringLiteral("1A e"),
         QStringLiteral("1B =d"), QStringLiteral("1B c")},
        {{QStringLiteral("1A a"), {QStringLiteral("1A"), 2, QStringLiteral("a")}},
         {QStringLiteral("1A b"), {QStringLiteral("1A"), 1, QStringLiteral("b")}},
         {QStringLiteral("1A e"), {QStringLiteral("1A"), 3, QStringLiteral("e")}},
         {QStringLiteral("1B c"), {QStringLiteral("1B"), 1, QStringLiteral("c")}},
         {QStringLiteral("1B =d"), {QStringLiteral("1B"), 0, QStringLiteral("=d")}}},
        {QStringLiteral("1A"), QStringLiteral("1B"), QStringLiteral("1C")});
    const auto utf8 = [](const QString& text) { return text.toUtf8().toStdString(); };
    // 問題1: a right, b wrong in 1A; c and =d wrong first in 1B; 問題2: a alone.
    EXPECT_EQ(ReportFiles::comparisonCsv(report).toStdString(),
              utf8(QStringLiteral("\uFEFF問題集,問題集ファイル,見出し,1A 初回正解率(%),1A 人数,"
                                  "1B 初回正解率(%),1B 人数,1C 初回正解率(%),1C 人数\r\n"
                                  "'@生物, 1\",S.TXT,問題1,50,2,0,2,,0\r\n"
                                  "'@生物, 1\",S.TXT,問題2,100,1,,0,,0\r\n")
                       .replace(QStringLiteral("'@"), QStringLiteral("\"'@"))));
    // Solved: right at the last check; the last day is the learner's latest.
    EXPECT_EQ(ReportFiles::gradebookCsv(report).toStdString(),
              utf8(QStringLiteral("\uFEFF組,番号,氏名,\"'@生物, 1 正解した問題数\","
                                  "\"'@生物, 1 初回正解率(%)\",\"'@生物, 1 最終学習日\"\r\n"
                                  "1A,1,b,0,0,2026-12-02\r\n"
                                  "1A,2,a,2,100,2026-12-01\r\n"
                                  "1A,3,e,0,,\r\n"
                                  "1B,,'=d,1,0,2026-12-03\r\n"
                                  "1B,1,c,1,0,2026-12-04\r\n")));
    const QString page = QString::fromUtf8(ReportFiles::indexHtml(report, QStringLiteral("全")));
    EXPECT_TRUE(page.contains(QStringLiteral("<th>1A</th><th>1B</th><th>1C</th>")));
    EXPECT_TRUE(page.contains(QStringLiteral("title=\"1/2人\">50%</td><td class=\"num\" "
                                             "title=\"0/2人\">0%</td>")));
}
