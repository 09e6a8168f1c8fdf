#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

struct CheckRun {
    int exitCode = -1;
    QStringList lines; // standard output
    QString errors;    // standard error
};

CheckRun check(const QStringList& args, const QString& workDir = QString())
{
    QProcess p;
    if (!workDir.isEmpty()) {
        p.setWorkingDirectory(workDir);
    }
    p.start(QStringLiteral(VELMORANT_CHECK), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    CheckRun r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.errors = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Compares the output line by line; an expected line ending in "…" only
// has to start the actual one (its end depends on the fonts' metrics).
void expectLines(const QStringList& actual, const QStringList& expected)
{
    EXPECT_EQ(actual.size(), expected.size()) << actual.join('\n').toStdString();
    for (qsizetype i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        const QString& e = expected.at(i);
        if (e.endsWith(QChar(0x2026))) {
            EXPECT_TRUE(actual.at(i).startsWith(e.chopped(1)))
                << actual.at(i).toStdString() << "\n  expected: " << e.toStdString();
        } else {
            EXPECT_EQ(actual.at(i), e);
        }
    }
}

QStringList problem(int n, const QString& items, const QString& groups, const QString& answer)
{
    return {QStringLiteral("問題%1 q").arg(n),
            QStringLiteral("Ａ群"),
            items,
            QStringLiteral("Ｂ群"),
            groups,
            answer};
}

QStringList problems(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i) {
        lines +=
            problem(i, QStringLiteral("・a"), QStringLiteral("ａ．g"), QStringLiteral("正解a,"));
        lines += QStringLiteral("説明%1").arg(i);
    }
    return lines;
}

} // namespace

TEST(Check, BundledDataIsClean)
{
    const CheckRun r = check({TestFiles::sourceDir() + QStringLiteral("/data")});
    EXPECT_EQ(r.exitCode, 0) << r.lines.join('\n').toStdString();
    EXPECT_EQ(r.lines.size(), 6) << "one summary per file: catalogue, four series, marks";
    for (const QString& line : r.lines) {
        EXPECT_FALSE(line.contains(QStringLiteral(": error:")) ||
                     line.contains(QStringLiteral(": warning:")))
            << line.toStdString();
    }
}

TEST(Check, AFaultyFolderIsReportedLineByLine)
{
    QTemporaryDir dir;
    const auto write = [&](const QString& name, const QStringList& lines) {
        TestFiles::write(dir.filePath(name), TestFiles::lines(lines));
    };
    write(QStringLiteral("ZQCList.TXT"),
          {QStringLiteral("動物,A.TXT"), QStringLiteral("題だけ"), QStringLiteral("三,B.TXT,余分"),
           QString(), QStringLiteral("消えた,Nothing.TXT")});
    QStringList a = problem(1, QStringLiteral("・ウニ ・ヒトデ"), QStringLiteral("ａ．棘皮"),
                            QStringLiteral("正解a,a,"));
    a[0] = QStringLiteral("問題１ ") +
           QStringLiteral("とても長い問題文がいつまでも続きます。").repeated(8);
    a += {QStringLiteral("問題２ 途中"), QStringLiteral("Ａ群"), QStringLiteral("・エビ")}; // 7
    a += problem(3, QStringLiteral("・カニ"), QStringLiteral("ａ．節足"), QStringLiteral("正解g,"));
    a += problem(4, QStringLiteral("・カニ"), QStringLiteral("ａ．節足"), QStringLiteral("正解a,"));
    write(QStringLiteral("A.TXT"), a);
    QString many;
    for (int i = 1; i <= 21; ++i) {
        many += QStringLiteral("・項目%1 ").arg(i);
    }
    const QString wide = QStringLiteral("とても長い名前").repeated(12);
    QStringList b = problem(1, many, QStringLiteral("ａ．一 ｂ．二"),
                            QStringLiteral("正解") + QStringLiteral("a,").repeated(21));
    b += problem(2, QStringLiteral("・") + wide, QStringLiteral("ａ．一 ｂ．二 ｃ．三"),
                 QStringLiteral("正解a,"));
    write(QStringLiteral("B.TXT"), b);
    // The placeholder, one marked problem and two lines of a cut-off record.
    write(QStringLiteral("Marked.txt"), {QStringLiteral("問題０"), QString(), QString(), QString(),
                                         QString(), QStringLiteral("問題１ q"), "a,", "g,", "1,",
                                         QString(), QStringLiteral("問題２"), "b,"});

    const CheckRun r = check({dir.path()});
    EXPECT_EQ(r.exitCode, 1);
    const QString d = QDir(dir.path()).path() + QLatin1Char('/');
    expectLines(
        r.lines,
        {d + QStringLiteral("ZQCList.TXT:2: warning: ファイル名が書かれていません（一覧には載りま"
                            "すが、開くことはできません）"),
         d + QStringLiteral("ZQCList.TXT:3: warning: 項目が3個あります。最初の2つを題名とファイル"
                            "名として使い、残りは使いません"),
         d + QStringLiteral("ZQCList.TXT:5: error: 問題集「消えた」のファイル「Nothing.TXT」が見"
                            "つかりません"),
         d + QStringLiteral("ZQCList.TXT: 問題集 4件（エラー 1、警告 2）"),
         d + QStringLiteral("A.TXT:1: warning: 問題文が2行に収まりません…"),
         d + QStringLiteral("A.TXT:7: error: 分類群（Ｂ群）の見出しの行がありません（次の問題の"
                            "見出しで途切れています。この問題の文は、次の問題にもほかのどこにも"
                            "入れていません）"),
         d + QStringLiteral("A.TXT:10: error: 正解の1番目「g」が a～f の小文字ではありません"),
         d + QStringLiteral("A.TXT: 使える問題 2問、除いた問題 2問（エラー 2、警告 1）"),
         d + QStringLiteral("B.TXT:1: warning: 分類群「一」の枠には項目が…"),
         d + QStringLiteral("B.TXT:7: warning: 項目「%1」がウィンドウの幅より広く、右端が見えま"
                            "せん")
                 .arg(wide),
         d + QStringLiteral("B.TXT:7: warning: 項目「%1」が、正解の分類群「一」の枠より広く、"
                            "枠からはみ出します")
                 .arg(wide),
         d + QStringLiteral("B.TXT: 使える問題 2問、除いた問題 0問（エラー 0、警告 3）"),
         d + QStringLiteral("Marked.txt:11: error: …"),
         d + QStringLiteral("Marked.txt: マークの付いた問題 1問（エラー 1、警告 0）")});
    EXPECT_TRUE(
        r.lines.value(8).contains(QStringLiteral("正解では21個入ります。この問題は解けません")));
    EXPECT_EQ(TestFiles::readAll(dir.filePath("Marked.txt")).count('\n'), 12) << "never written";
}

TEST(Check, HundredProblemsAreCleanMoreAreWarned)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath("H.TXT"), TestFiles::lines(problems(100)));
    TestFiles::write(dir.filePath("M.TXT"), TestFiles::lines(problems(101)));
    const CheckRun r = check({QStringLiteral("H.TXT"), QStringLiteral("M.TXT")}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    expectLines(r.lines,
                {QStringLiteral("H.TXT: 使える問題 100問、除いた問題 0問（エラー 0、警告 0）"),
                 QStringLiteral("M.TXT:701: warning: 1つの問題集に入れられるのは100問までです。"
                                "この問題から先の1問は読み込みません"),
                 QStringLiteral("M.TXT: 使える問題 100問、除いた問題 0問（エラー 0、警告 1）")});
}

TEST(Check, ExitStatuses)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath("ZQCList.TXT"), TestFiles::lines({QStringLiteral("題だけ")}));
    EXPECT_EQ(check({}, dir.path()).exitCode, 0) << "warnings alone pass";
    EXPECT_EQ(check({QStringLiteral("--unknown")}, dir.path()).exitCode, 2);
    EXPECT_EQ(check({QStringLiteral("--preview")}, dir.path()).exitCode, 2);
    EXPECT_EQ(check({QStringLiteral("missing-folder")}, dir.path()).exitCode, 2);
    EXPECT_EQ(check({QStringLiteral("."), QStringLiteral("ZQCList.TXT")}, dir.path()).exitCode, 2)
        << "a folder and files mixed";
    TestFiles::write(dir.filePath("S.TXT"), QByteArray("\x82\xA0\xFF\r\n"));
    const CheckRun bad = check({QStringLiteral("S.TXT")}, dir.path());
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(std::any_of(bad.lines.begin(), bad.lines.end(), [](const QString& l) {
        return l.startsWith(QStringLiteral("S.TXT:1: error: シフトJIS"));
    })) << bad.lines.join('\n').toStdString();
}

TEST(Check, AUtf8SeriesLoadsWithOneWarningAndAPreviewOfEachProblem)
{
    QTemporaryDir dir;
    QString text = problems(2).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    TestFiles::write(dir.filePath("U.TXT"), "\xEF\xBB\xBF" + text.toUtf8());
    const CheckRun r = check(
        {QStringLiteral("--preview"), QStringLiteral("out"), QStringLiteral("U.TXT")}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.errors.toStdString();
    EXPECT_TRUE(r.lines.value(0).startsWith(QStringLiteral("U.TXT:1: warning: UTF-8")))
        << r.lines.join('\n').toStdString();
    EXPECT_TRUE(r.lines.value(1).startsWith(QStringLiteral("U.TXT: 使える問題 2問")));
    EXPECT_TRUE(QFile::exists(dir.filePath("out/U.TXT-01.png")));
    EXPECT_TRUE(QFile::exists(dir.filePath("out/U.TXT-02.png")));
    EXPECT_TRUE(QFile::exists(dir.filePath("out/index.html")));
}
