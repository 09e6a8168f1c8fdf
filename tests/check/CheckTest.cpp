#include "check/CheckRun.h"
#include "marks/MarksFile.h"
#include "record/AnswerLog.h"
#include "record/Fsrs.h"
#include "record/LearnerDays.h"
#include "record/ProblemId.h"
#include "record/Statements.h"
#include "report/ReportFiles.h"
#include "series/Catalog.h"
#include "series/SeriesLoader.h"
#include "series/SeriesState.h"
#include "server/store/Store.h"
#include "server/store/StoreReport.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace
{

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

QStringList problem(int n, const QString& terms, const QString& groups, const QString& answer)
{
    return {QStringLiteral("問題%1 q").arg(n),
            QStringLiteral("Ａ群"),
            terms,
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

TEST(Check, AFolderGivenRelativelyIsNamedOnce)
{
    const CheckRun r = check({QStringLiteral("data")}, TestFiles::sourceDir());
    ASSERT_FALSE(r.lines.isEmpty());
    EXPECT_TRUE(r.lines.first().startsWith(QStringLiteral("data/ZQCList.TXT: ")))
        << r.lines.first().toStdString();
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

    // The program draws the pictures for the check; what stops it is told
    // by the check, once, and no page is announced.
    TestFiles::write(dir.filePath("file"), "x");
    const CheckRun failed =
        check({QStringLiteral("--preview"), QStringLiteral("file/out"), QStringLiteral("U.TXT")},
              dir.path());
    EXPECT_EQ(failed.exitCode, 2);
    EXPECT_EQ(failed.errors.count(QStringLiteral(
                  "velmorant-check: プレビューの出力先のフォルダ「file/out」を作れません")),
              1)
        << failed.errors.toStdString();
    EXPECT_FALSE(failed.lines.join('\n').contains(QStringLiteral("盤面の絵")));
}

// ---------------------------------------------------------------------------
// The readers over teachers' real files: bytes in, what the program uses and
// what it finds out. Every case goes through the program's own reader and
// through velmorant-check, and both must give the table's answer, so the two
// cannot drift apart.

namespace
{

struct Expected {
    int line = 0;
    bool error = false;
    QString says;           // a piece of the message
    bool checkOnly = false; // only the check looks for it (layout, marking)
};

struct ReaderCase {
    const char* name;
    enum Kind { Series, Catalog, Marks } kind;
    QByteArray bytes;
    QStringList used; // questions, or catalogue titles
    QList<Expected> findings;
};

struct Seen {
    QStringList used;
    QList<Expected> findings;
};

QByteArray utf16(const QString& text)
{
    QByteArray out("\xFF\xFE");
    for (const QChar c : text) {
        out += static_cast<char>(c.unicode() & 0xFF);
        out += static_cast<char>(c.unicode() >> 8);
    }
    return out;
}

QStringList markRecord(const QString& q, const QString& answers = QStringLiteral("1,2,"))
{
    return {q, QStringLiteral("ア,イ,"), QStringLiteral("甲,乙,"), answers, QString()};
}

QStringList withPlaceholder(const QList<QStringList>& records, const QStringList& between = {})
{
    QStringList out = {QStringLiteral("問題０"), QString(), QString(), QString(), QString()};
    for (const QStringList& r : records) {
        out += between;
        out += r;
    }
    return out;
}

Seen programReads(const ReaderCase& c, const QString& path)
{
    Seen out;
    const auto add = [&](const Finding& f) {
        out.findings.append({f.line, f.kind == Finding::Kind::Error, f.message});
    };
    if (c.kind == ReaderCase::Series) {
        const SeriesLoader::Series s = SeriesLoader::load(path);
        for (int r = 0; r < s.loadedCount(); ++r) {
            out.used.append(s.usable.at(r).fullQuestion());
        }
        const Findings found = s.findings();
        std::for_each(found.begin(), found.end(), add);
    } else if (c.kind == ReaderCase::Catalog) {
        const Catalog::Result cat = Catalog::read(path);
        for (const Catalog::Entry& e : cat.entries) {
            out.used.append(e.title);
        }
        std::for_each(cat.findings.begin(), cat.findings.end(), add);
    } else {
        SeriesState state;
        MarksStore store(QFileInfo(path).absolutePath());
        QList<MarksFinding> found;
        const int last = store.read(state, QFileInfo(path).fileName(), &found);
        for (int r = 1; r <= last; ++r) {
            out.used.append(state.problems.at(static_cast<std::size_t>(r)).fullQuestion());
        }
        for (const MarksFinding& f : found) {
            out.findings.append({f.line, !f.warning, f.message});
        }
    }
    return out;
}

// FILE:LINE: kind: message, or FILE: kind: message for the file as a whole.
QList<Expected> checkFindings(const CheckRun& run, const QString& file)
{
    QList<Expected> out;
    for (const QString& l : run.lines) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^%1(?::(\\d+))?: (error|warning): (.*)$")
                                   .arg(QRegularExpression::escape(file)))
                .match(l);
        if (m.hasMatch()) {
            out.append(
                {m.captured(1).toInt(), m.captured(2) == QLatin1String("error"), m.captured(3)});
        }
    }
    return out;
}

void expectFindings(const QList<Expected>& seen, const QList<Expected>& expected, bool check)
{
    QList<Expected> wanted;
    std::copy_if(expected.begin(), expected.end(), std::back_inserter(wanted),
                 [check](const Expected& e) { return check || !e.checkOnly; });
    QStringList all;
    for (const Expected& s : seen) {
        all.append(QStringLiteral("%1 %2 %3").arg(s.line).arg(s.error).arg(s.says));
    }
    ASSERT_EQ(seen.size(), wanted.size()) << all.join('\n').toStdString();
    for (qsizetype i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen.at(i).line, wanted.at(i).line) << all.join('\n').toStdString();
        EXPECT_EQ(seen.at(i).error, wanted.at(i).error) << all.join('\n').toStdString();
        EXPECT_TRUE(seen.at(i).says.contains(wanted.at(i).says))
            << seen.at(i).says.toStdString() << "\n  expected: " << wanted.at(i).says.toStdString();
    }
}

QList<ReaderCase> readerCases()
{
    const QStringList p1 = problem(1, QStringLiteral("・イ ・ロ"), QStringLiteral("ａ．甲 ｂ．乙"),
                                   QStringLiteral("正解a,b,"));
    QStringList tabs = p1;
    tabs[2] = QStringLiteral("・イ\t・ロ");
    tabs += problem(2, QStringLiteral("・ハ"), QStringLiteral("ａ．甲"), QStringLiteral("正解a,"));
    tabs[6] = QStringLiteral("\t問題2 q");
    QStringList twice = p1;
    twice += {QStringLiteral("解説"), QStringLiteral("一つ目"), QStringLiteral("正解b,a,"),
              QStringLiteral("解説"), QStringLiteral("二つ目")};
    const QByteArray bad =
        TestFiles::lines(
            problem(2, QStringLiteral("・ハ"), QStringLiteral("ａ．甲"), QStringLiteral("正解a,")))
            .replace(TestFiles::cp932(QStringLiteral("・ハ")), QByteArray("\x81\x45\x85\x40", 4));
    QStringList nul = p1;
    nul[2] = QStringLiteral("・イ ・ロ") + QChar(0);
    QStringList longHeading = p1;
    longHeading[0] = QStringLiteral("問題一二三四五六七八九十");
    QStringList unmarkable = p1;
    unmarkable[0] = QStringLiteral("問題1 音符♫の問題");
    QList<QStringList> hundredAndTwo;
    for (int i = 1; i <= 102; ++i) {
        hundredAndTwo.append(markRecord(QStringLiteral("問題%1").arg(i)));
    }
    const QStringList a = markRecord(QStringLiteral("問題Ａ"));
    const QStringList b = markRecord(QStringLiteral("問題Ｂ"));
    const QStringList foreign = withPlaceholder({a}) + QStringList{QStringLiteral("余計な行")} +
                                markRecord(QStringLiteral("問題Ｂ")) + markRecord("問題C");
    using R = ReaderCase;
    return {
        {"tabs around headings and between terms",
         R::Series,
         TestFiles::lines(tabs),
         {QStringLiteral("問題1 q"), QStringLiteral("問題2 q")},
         {{7, false, QStringLiteral("タブのあとの「問題」")}}},
        {"a second answer and explanation",
         R::Series,
         TestFiles::lines(twice),
         {QStringLiteral("問題1 q")},
         {{9, false, QStringLiteral("2つ目の「正解」")},
          {10, false, QStringLiteral("2つ目の「解説」")}}},
        {"an undefined byte leaves out its problem only",
         R::Series,
         TestFiles::lines(p1) + bad + TestFiles::lines(problem(3, "・ニ", "ａ．甲", "正解a,")),
         {QStringLiteral("問題1 q"), QStringLiteral("問題3 q")},
         {{7, true, QStringLiteral("9行目に、シフトJIS")}}},
        {"a zero byte",
         R::Series,
         TestFiles::lines(nul),
         {QStringLiteral("問題1 q")},
         {{3, false, QStringLiteral("U+0000")}}},
        {"UTF-16",
         R::Series,
         utf16(QString::fromUtf8(TestFiles::lines(p1))),
         {},
         {{0, true, QStringLiteral("UTF-16")}}},
        {"code page 932 after a byte order mark",
         R::Series,
         QByteArray("\xEF\xBB\xBF") + TestFiles::lines(p1),
         {QStringLiteral("問題1 q")},
         {}},
        {"a heading longer than its label",
         R::Series,
         TestFiles::lines(longHeading),
         {QStringLiteral("問題一二三四五六七八九十")},
         {{1, false, QStringLiteral("見出し「問題一二三四五六七」"), true}}},
        {"UTF-8 that cannot be marked",
         R::Series,
         p1.join("\r\n").replace("問題1 q", unmarkable[0]).toUtf8(),
         {unmarkable[0]},
         {{1, false, QStringLiteral("UTF-8 で保存"), true},
          {1, false, QStringLiteral("「♫」があるため"), true}}},
        {"half-width kana title",
         R::Catalog,
         TestFiles::lines({QStringLiteral("ﾊｲﾃｸ history,S.TXT")}),
         {QStringLiteral("ﾊｲﾃｸ history")},
         {}},
        {"an undefined byte leaves out its catalogue line",
         R::Catalog,
         TestFiles::lines({QStringLiteral("一,S.TXT")}) + QByteArray("\x83\x7F\x80,S.TXT\r\n") +
             TestFiles::lines({QStringLiteral("三,S.TXT")}),
         {QStringLiteral("一"), QStringLiteral("三")},
         {{2, true, QStringLiteral("2行目に")}}},
        {"blank lines between marks",
         R::Marks,
         TestFiles::lines(withPlaceholder({a, b}, {QString(), QString()}) + QStringList{QString()}),
         {a[0], b[0]},
         {}},
        {"a foreign line among marks",
         R::Marks,
         TestFiles::lines(foreign),
         {a[0], b[0], QStringLiteral("問題C")},
         {{11, true, QStringLiteral("11行目からの記録")}}},
        {"an answer line that names no group",
         R::Marks,
         TestFiles::lines(withPlaceholder({markRecord("問題X", "9,8,7,x,,"), b})),
         {b[0]},
         {{6, true, QStringLiteral("正解の数（5）")}}},
        {"marks saved as UTF-8",
         R::Marks,
         withPlaceholder({a, b}).join("\r\n").toUtf8() + "\r\n",
         {a[0], b[0]},
         {}},
        {"more than a hundred marks",
         R::Marks,
         TestFiles::lines(withPlaceholder(hundredAndTwo)),
         QStringList(hundredAndTwo.mid(0, 100).size(), QString()),
         {{506, false, QStringLiteral("102問")}}},
    };
}

} // namespace

TEST(Check, ProgramAndCheckReadTeachersFilesAlike)
{
    for (const ReaderCase& c : readerCases()) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString name = c.kind == ReaderCase::Series    ? QStringLiteral("S.TXT")
                             : c.kind == ReaderCase::Catalog ? QStringLiteral("ZQCList.TXT")
                                                             : QStringLiteral("Marked.txt");
        TestFiles::write(dir.filePath(name), c.bytes);
        const Seen program = programReads(c, dir.filePath(name));
        if (c.kind == ReaderCase::Marks && c.used.value(0).isEmpty()) {
            EXPECT_EQ(program.used.size(), c.used.size());
        } else {
            EXPECT_EQ(program.used, c.used);
        }
        expectFindings(program.findings, c.findings, false);

        if (c.kind == ReaderCase::Catalog) {
            TestFiles::write(dir.filePath("S.TXT"), TestFiles::lines(problems(1)));
        }
        const CheckRun run =
            check(c.kind == ReaderCase::Catalog ? QStringList{} : QStringList{name}, dir.path());
        expectFindings(checkFindings(run, name), c.findings, true);
        const QString count = QString::number(c.used.size());
        EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [&](const QString& l) {
            return l.startsWith(name + QStringLiteral(": ")) &&
                   (l.contains(QStringLiteral("使える問題 ") + count + QStringLiteral("問")) ||
                    l.contains(QStringLiteral("問題集 ") + count + QStringLiteral("件")) ||
                    l.contains(QStringLiteral("マークの付いた問題 ") + count +
                               QStringLiteral("問")));
        })) << run.lines.join('\n').toStdString();
    }
}

// A folder as Windows makes it: names in capitals, '\\' between folders.
// The check finds every file the program opens, the marks file included.
TEST(Check, AWindowsMadeFolderIsCheckedWhole)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("SUB");
    TestFiles::write(
        dir.filePath("ZQCLIST.TXT"),
        TestFiles::lines({QStringLiteral("化学,sub\\Chem2.TXT"), QStringLiteral("生物,bio.txt")}));
    TestFiles::write(dir.filePath("SUB/CHEM2.TXT"), TestFiles::lines(problems(2)));
    TestFiles::write(dir.filePath("BIO.TXT"), TestFiles::lines(problems(1)));
    TestFiles::write(dir.filePath("MARKED.TXT"),
                     TestFiles::lines(withPlaceholder({markRecord("問題X", "3,")})));
    const CheckRun r = check({}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.lines.join('\n').toStdString();
    expectLines(
        r.lines,
        {QStringLiteral("ZQCLIST.TXT: 問題集 2件（エラー 0、警告 0）"),
         QStringLiteral("SUB/CHEM2.TXT: 使える問題 2問、除いた問題 0問（エラー 0、警告 0）"),
         QStringLiteral("BIO.TXT: 使える問題 1問、除いた問題 0問（エラー 0、警告 0）"),
         QStringLiteral("MARKED.TXT:6: error: …"),
         QStringLiteral("MARKED.TXT: マークの付いた問題 0問（エラー 1、警告 0）")});
}

// A control character in a teacher's file is told, and never reaches the
// preview page raw.
TEST(Check, ThePreviewWritesNoControlCharacter)
{
    QTemporaryDir dir;
    QStringList p =
        problem(1, QStringLiteral("・イ"), QStringLiteral("ａ．甲"), QStringLiteral("正解a,"));
    p[0] = QStringLiteral("問題\x01\x1B");
    TestFiles::write(dir.filePath("S.TXT"), TestFiles::lines(p));
    const CheckRun r = check(
        {QStringLiteral("--preview"), QStringLiteral("out"), QStringLiteral("S.TXT")}, dir.path());
    EXPECT_TRUE(r.lines.value(0).startsWith(QStringLiteral("S.TXT:1: warning: 制御文字（U+0001）")))
        << r.lines.join('\n').toStdString();
    const QByteArray page = TestFiles::readAll(dir.filePath("out/index.html"));
    ASSERT_FALSE(page.isEmpty());
    EXPECT_TRUE(page.contains(QStringLiteral("問題\uFFFD\uFFFD").toUtf8()));
    EXPECT_FALSE(std::any_of(page.begin(), page.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\n';
    }));
}

namespace
{

// The statement of a right first check of the one problem of S.TXT.
QByteArray firstCheck(const Problem& p, qint64 atMs)
{
    Answer a = Statements::about(p, QStringLiteral("S.TXT"), ProblemIds::keysOf({p}).at(0));
    a.learner = a.learnerName = QStringLiteral("花子");
    a.placed = a.correct;
    a.success = true;
    a.right = static_cast<int>(p.terms.size());
    a.timestampMs = atMs;
    a.id = QUuid::createUuid();
    return Statements::line(a);
}

} // namespace

TEST(Check, LogsAreCheckedLineByLineAndDueListsWhatIsStillThere)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath("ZQCList.TXT"), TestFiles::lines({QStringLiteral("生物,S.TXT")}));
    TestFiles::write(dir.filePath("S.TXT"), TestFiles::lines(problems(1)));
    const Problem p = SeriesLoader::load(dir.filePath("S.TXT")).usable.at(0);
    const qint64 at = QDateTime(QDate(2026, 1, 5), QTime(9, 30), Qt::UTC).toMSecsSinceEpoch();
    QDir(dir.path()).mkdir(QStringLiteral("records"));
    const QString log =
        dir.filePath(QStringLiteral("records/") + AnswerLog::fileNameOf(QStringLiteral("花子")));
    TestFiles::write(log, firstCheck(p, at) + "\n{\"id\": 1\n" + firstCheck(p, at).left(40));

    const CheckRun r = check({dir.path()});
    EXPECT_EQ(r.exitCode, 1);
    const QString shown = QDir(dir.path()).filePath(QStringLiteral("records/花子.jsonl"));
    EXPECT_EQ(r.lines.filter(shown + QStringLiteral(":2: error: ")).size(), 1)
        << r.lines.join('\n').toStdString();
    EXPECT_EQ(r.lines.filter(shown + QStringLiteral(":3: error: ")).size(), 1);
    EXPECT_TRUE(r.lines.last().startsWith(shown + QStringLiteral(": 回答 1件")));

    // A first Good waits three of the learner's days, from 04:00 local time
    // unless --day-start says otherwise.
    for (const auto& [start, minutes] :
         {std::pair(QString(), 4 * 60), std::pair(QStringLiteral("10:30"), 630)}) {
        const QString due = LearnerDays(minutes).dayOf(at).addDays(3).toString(Qt::ISODate);
        QStringList args = {QStringLiteral("--due"), dir.path()};
        if (!start.isEmpty()) {
            args << QStringLiteral("--day-start") << start;
        }
        const CheckRun schedule = check(args);
        ASSERT_EQ(schedule.lines.size(), 1) << schedule.errors.toStdString();
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^花子\tS\\.TXT\t問題1\t%1\t[01]\\.\\d{3}$").arg(due))
                .match(schedule.lines.first())
                .hasMatch())
            << schedule.lines.first().toStdString();
    }
    const CheckRun badStart = check({QStringLiteral("--due"), QStringLiteral("--day-start"),
                                     QStringLiteral("25:00"), dir.path()});
    EXPECT_EQ(badStart.exitCode, 2);
    EXPECT_TRUE(badStart.errors.contains(QStringLiteral("25:00"))) << badStart.errors.toStdString();

    // A new explanation keeps the problem and its schedule.
    const QStringList scheduled = check({QStringLiteral("--due"), dir.path()}).lines;
    TestFiles::write(dir.filePath("S.TXT"),
                     TestFiles::lines(problem(1, QStringLiteral("・a"), QStringLiteral("ａ．g"),
                                              QStringLiteral("正解a,")) +
                                      QStringList{QStringLiteral("説明を書き直した")}));
    EXPECT_EQ(check({QStringLiteral("--due"), dir.path()}).lines, scheduled);
    EXPECT_TRUE(check({dir.path()}).lines.filter(QStringLiteral("warning")).isEmpty());

    // What it asks changed: nothing of it is due any more, and the check
    // tells whose history ends.
    TestFiles::write(dir.filePath("S.TXT"),
                     TestFiles::lines(problem(1, QStringLiteral("・b"), QStringLiteral("ａ．g"),
                                              QStringLiteral("正解a,"))));
    EXPECT_TRUE(check({QStringLiteral("--due"), dir.path()}).lines.isEmpty());
    EXPECT_TRUE(
        check({dir.path()})
            .lines.contains(
                dir.filePath("S.TXT") +
                QStringLiteral(
                    ":1: warning: 「問題1」の項目・分類群・正解が、学習者が答えたときから変わって"
                    "います。新しい問題として始まり、学習者1人のこれまでの記録（復習の予定）は"
                    "ここで終わります")));
    EXPECT_EQ(check({QStringLiteral("--due"), QStringLiteral("--learner"), QStringLiteral("次郎"),
                     dir.path()})
                  .exitCode,
              2);
}

// File names holding "%1" or "%2" are printed as they are.
TEST(Check, NamesWithPercentSignsArePrintedAsWritten)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath("ZQCList.TXT"),
                     TestFiles::lines({QStringLiteral("生物,%1%2.TXT")}));
    TestFiles::write(dir.filePath("%1%2.TXT"), TestFiles::lines(problems(1)));
    QDir(dir.path()).mkdir(QStringLiteral("records"));
    TestFiles::write(
        dir.filePath(QStringLiteral("records/") + AnswerLog::fileNameOf(QStringLiteral(".."))),
        "{\"id\": 1\n");
    const QString log = dir.filePath(QStringLiteral("records/%2E%2E.jsonl"));
    expectLines(check({dir.path()}).lines,
                {dir.filePath("ZQCList.TXT") + QStringLiteral(": 問題集 1件（エラー 0、警告 0）"),
                 dir.filePath("%1%2.TXT") +
                     QStringLiteral(": 使える問題 1問、除いた問題 0問（エラー 0、警告 0）"),
                 log + QStringLiteral(":1: error: 解答の記録として読めないため、飛ばしました。"
                                      "JSONとして読めません（9バイト目）"),
                 log + QStringLiteral(": 回答 0件（エラー 1、警告 0）")});
}

// A server's folder: --report reads its store and writes the very bytes the
// teacher's page gives for the same answers, and --due lists its learners.
TEST(Check, AServersFolderIsReportedAsTheTeachersPageGivesIt)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath("ZQCList.TXT"), TestFiles::lines({QStringLiteral("生物,S.TXT")}));
    TestFiles::write(dir.filePath("S.TXT"), TestFiles::lines(problems(2)));
    const QList<Problem> problems = SeriesLoader::load(dir.filePath("S.TXT")).usable;
    const qint64 at = QDateTime(QDate(2026, 1, 5), QTime(9, 30), Qt::UTC).toMSecsSinceEpoch();
    {
        Store store;
        ASSERT_EQ(store.open(dir.path(), {}), QString());
        // The two problems ask the same: their order tells them apart.
        const QStringList keys = ProblemIds::keysOf(problems);
        int n = 0;
        for (const QString& learner : {QStringLiteral("aoi"), QStringLiteral("ren")}) {
            ASSERT_EQ(store.addLearner(learner, learner + QStringLiteral("2345678")), QString());
            for (qsizetype i = 0; i < problems.size(); ++i) {
                std::optional<Answer> a =
                    Statements::parse(firstCheck(problems.at(i), at + 60000 * ++n), nullptr);
                ASSERT_TRUE(a);
                a->learner = a->learnerName = learner;
                a->problemHash = keys.at(i);
                ASSERT_EQ(store.appendStatement(learner, a->id.toString(QUuid::WithoutBraces),
                                                a->problemId(), a->timestampMs,
                                                Statements::line(*a)),
                          QString());
            }
        }
    }
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    const ClassReport::Report served = StoreReport::ofClasses(
        store, dir.path(), {store.classes().value().first().id}, {}, {});
    ASSERT_EQ(served.rows.size(), 4);

    QTemporaryDir out;
    const CheckRun r = check({QStringLiteral("--report"), out.path(), dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString();
    for (const QString& name : ReportFiles::spreadsheetNames()) {
        EXPECT_EQ(TestFiles::readAll(QDir(out.path()).filePath(ReportFiles::fileName(name))),
                  ReportFiles::spreadsheet(name, served))
            << name.toStdString();
    }
    const CheckRun due = check({QStringLiteral("--due"), dir.path()});
    EXPECT_EQ(due.lines.filter(QRegularExpression(QStringLiteral("^aoi\tS\\.TXT\t"))).size(), 2);
    EXPECT_EQ(due.lines.filter(QRegularExpression(QStringLiteral("^ren\tS\\.TXT\t"))).size(), 2);
}
