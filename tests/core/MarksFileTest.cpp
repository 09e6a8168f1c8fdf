#include "marks/MarksFile.h"
#include "session/MarksMessages.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace
{

QStringList record(const QString& q, const QString& explanation = QString())
{
    return {q, QStringLiteral("ウニ,ヒトデ,"), QStringLiteral("棘皮,節足,"), "1,1,", explanation};
}

QByteArray records(const QList<QStringList>& rs)
{
    QByteArray out;
    for (const QStringList& r : rs) {
        out += TestFiles::lines(r);
    }
    return out;
}

const QStringList Placeholder = record(QStringLiteral("問題０ 先頭"));

struct Marks : Harness {
    QString file() const { return path("Marked.txt"); }
    QByteArray bytes() const { return TestFiles::readAll(file()); }
    void put(const QByteArray& b) { TestFiles::write(file(), b); }
    int read()
    {
        state.catalog[0][1] = "Marked.txt";
        return ReadMarksFile(*form);
    }
    // Loads the file as the marked series does.
    void load()
    {
        state.problemCount = read();
        state.markedSeries = true;
    }
};

} // namespace

TEST(MarksFile, RoundTripKeepsLeadingFullWidthSpaceAndEmptyExplanation)
{
    Marks m;
    const QList<QStringList> rs = {
        Placeholder,
        record(QStringLiteral("問題１\u3000ウニ"), QStringLiteral("\u3000棘皮動物です。")),
        record(QStringLiteral("問題２\u3000ヒトデ")),
        // Lists as a hand or another program may write them.
        {QStringLiteral("問題３\u3000カニ"), QStringLiteral("カニ,エビ"),
         QStringLiteral("節足,軟体,"), QStringLiteral(" 1,+1"), QString()}};
    m.put(records(rs));
    m.load();
    EXPECT_EQ(m.state.problemCount, 3);
    EXPECT_EQ(m.state.problems[3].lines.heading, 16);
    EXPECT_EQ(recordPart(m.state, 1, 4), QStringLiteral("\u3000棘皮動物です。"));
    EXPECT_EQ(recordPart(m.state, 2, 4), QString());
    EXPECT_TRUE(m.state.marked[0]);
    EXPECT_TRUE(m.state.marked[2]);
    EXPECT_TRUE(m.state.marked[3]);
    ASSERT_TRUE(RewriteMarksFile(*m.form));
    EXPECT_EQ(m.bytes(), records(rs)) << "an unchanged table writes the same bytes";
}

TEST(MarksFile, AppendAddsFiveLinesAndGivesANewFileItsPlaceholder)
{
    Marks m;
    m.setRow(3, QStringLiteral("問題３ カニ"), "a,", "b,", "1,", QStringLiteral("\u3000甲殻類"));
    m.state.currentProblem = 3;
    m.state.markPending = true;
    ASSERT_TRUE(AppendMarkedProblem(*m.form));
    EXPECT_FALSE(m.state.markPending);
    const QByteArray expected = TestFiles::lines(MarksFile::placeholderRecord()) +
                                TestFiles::lines({QStringLiteral("問題３ カニ"), "a,", "b,", "1,",
                                                  QStringLiteral("\u3000甲殻類")});
    EXPECT_EQ(m.bytes(), expected);
    // The problem appended first is a marked problem, not the placeholder.
    EXPECT_EQ(m.read(), 1);
    EXPECT_EQ(recordPart(m.state, 1, 0), QStringLiteral("問題３ カニ"));

    m.setRow(3, QStringLiteral("問題３ 二度目"), "a,", "b,", "1,");
    ASSERT_TRUE(AppendMarkedProblem(*m.form));
    EXPECT_EQ(m.bytes(),
              expected + TestFiles::lines({QStringLiteral("問題３ 二度目"), "a,", "b,", "1,", ""}));
}

TEST(MarksFile, RewriteDropsRowsFlaggedF)
{
    Marks m;
    m.put(records({Placeholder, record("A"), record("B"), record("C")}));
    m.load();
    m.state.marked[2] = false;
    ASSERT_TRUE(RewriteMarksFile(*m.form));
    EXPECT_EQ(m.bytes(), records({Placeholder, record("A"), record("C")}));
}

TEST(MarksFile, RecordsBeyondTheTableSurviveARewrite)
{
    Marks m;
    QList<QStringList> rs = {Placeholder};
    for (int i = 1; i <= 102; ++i) {
        rs.append(record(QStringLiteral("問題%1").arg(i)));
    }
    m.put(records(rs));
    m.load();
    EXPECT_EQ(m.state.problemCount, 100);
    EXPECT_EQ(recordPart(m.state, 100, 0), QStringLiteral("問題100"));
    m.state.marked[1] = false;
    ASSERT_TRUE(RewriteMarksFile(*m.form));
    rs.removeAt(1);
    EXPECT_EQ(m.bytes(), records(rs)) << "records 101 and 102 are kept, in order";
    // The read says that not every record is shown, as a series file does.
    ASSERT_EQ(m.dialogs.messages.size(), 1);
    EXPECT_TRUE(m.dialogs.messages[0].text.contains(QStringLiteral("102問の記録")));
}

TEST(MarksFile, MissingOrEmptyFileHasNoMarkedProblemsAndIsNotCreated)
{
    Marks m;
    EXPECT_EQ(m.read(), -1);
    EXPECT_FALSE(QFile::exists(m.file()));
    m.put(QByteArray());
    EXPECT_EQ(m.read(), -1);
    EXPECT_TRUE(m.dialogs.messages.isEmpty());
}

TEST(MarksFile, TruncatedFileLoadsItsWholeRecordsAndKeepsTheRestAside)
{
    Marks m;
    const QByteArray whole = records({Placeholder, record("A")});
    const QByteArray tail = TestFiles::lines({QStringLiteral("問題９ 途中"), "x,"});
    m.put(whole + tail);
    m.load();
    EXPECT_EQ(m.state.problemCount, 1);
    ASSERT_EQ(m.dialogs.messages.size(), 1);
    EXPECT_TRUE(m.dialogs.messages[0].text.contains(QStringLiteral("11行目")));
    ASSERT_TRUE(RewriteMarksFile(*m.form));
    EXPECT_EQ(m.bytes(), whole);
    EXPECT_EQ(TestFiles::readAll(m.path("Marked.txt.damaged")), tail) << "nothing is lost";
}

TEST(MarksFile, AppendAfterADamagedEndKeepsRecordsAligned)
{
    Marks m;
    const QByteArray whole = records({Placeholder, record("A")});
    QByteArray lastWithoutLineEnd = TestFiles::lines(record("B", "b"));
    lastWithoutLineEnd.chop(2);
    m.put(whole + lastWithoutLineEnd);
    m.setRow(1, "C", "c,", "g,", "1,");
    m.state.currentProblem = 1;
    ASSERT_TRUE(AppendMarkedProblem(*m.form));
    EXPECT_EQ(m.bytes(), whole + TestFiles::lines(record("B", "b")) +
                             TestFiles::lines({"C", "c,", "g,", "1,", ""}))
        << "a last line without its line end still ends its record";
    EXPECT_TRUE(m.dialogs.messages.isEmpty());

    const QByteArray bad("\x82\xFF\r\nx\r\n", 7);
    m.put(whole + bad);
    ASSERT_TRUE(AppendMarkedProblem(*m.form));
    EXPECT_EQ(m.bytes(), whole + TestFiles::lines({"C", "c,", "g,", "1,", ""}));
    EXPECT_EQ(TestFiles::readAll(m.path("Marked.txt.damaged")), bad);
    EXPECT_EQ(m.dialogs.messages.size(), 1);
}

TEST(MarksFile, FailedWritesKeepTheOldBytesAndTheMark)
{
    Marks m;
    const QByteArray old = records({Placeholder, record("A"), record("B")});
    m.put(old);
    m.load();
    m.state.marked[1] = false;
    {
        const TestFiles::FileSizeLimit full(10);
        EXPECT_FALSE(RewriteMarksFile(*m.form));
    }
    EXPECT_EQ(m.bytes(), old);
    ASSERT_EQ(m.dialogs.messages.size(), 1);
    EXPECT_TRUE(m.dialogs.messages[0].text.contains("Marked.txt"));

    // An append that fails keeps its record and writes it with the next one.
    m.state.markedSeries = false;
    m.setRow(4, "D", "d,", "g,", "1,");
    m.state.currentProblem = 4;
    m.state.markPending = true;
    {
        const TestFiles::FileSizeLimit full(10);
        EXPECT_FALSE(AppendMarkedProblem(*m.form));
    }
    EXPECT_EQ(m.bytes(), old);
    EXPECT_EQ(m.fileMarks->pending().size(), 1);
    m.setRow(5, "E", "e,", "g,", "1,");
    m.state.currentProblem = 5;
    ASSERT_TRUE(AppendMarkedProblem(*m.form));
    EXPECT_EQ(m.bytes(), old + TestFiles::lines({"D", "d,", "g,", "1,", ""}) +
                             TestFiles::lines({"E", "e,", "g,", "1,", ""}));
    EXPECT_TRUE(m.fileMarks->pending().isEmpty());
}

TEST(MarksFile, UnreadableFileIsToldAndNothingIsWritten)
{
    Marks m;
    QDir(m.dir.path()).mkdir("Marked.txt");
    EXPECT_EQ(m.read(), -1);
    EXPECT_EQ(m.dialogs.messages.size(), 1);
    m.setRow(1, "A", "a,", "g,", "1,");
    m.state.currentProblem = 1;
    EXPECT_FALSE(AppendMarkedProblem(*m.form));
    EXPECT_EQ(m.fileMarks->pending().size(), 1);
    EXPECT_TRUE(QFileInfo(m.file()).isDir());
}

TEST(MarksFile, MarkCodePage932CannotHoldIsToldOnceAndKeptPending)
{
    Marks m;
    const QByteArray old = records({Placeholder, record("A")});
    m.put(old);
    // A problem from a UTF-8 series: 𩸽 (U+29E3D) has no code in code page 932.
    m.setRow(2, QStringLiteral("問題２ \U00029E3Dの仲間"), "a,", "b,", "1,");
    m.state.currentProblem = 2;
    m.state.markPending = true;
    EXPECT_FALSE(AppendMarkedProblem(*m.form));
    EXPECT_EQ(m.bytes(), old) << "nothing is written in part or with a stand-in";
    ASSERT_EQ(m.dialogs.messages.size(), 1);
    EXPECT_TRUE(m.dialogs.messages[0].text.contains(QStringLiteral("「\U00029E3D」（U+29E3D）")))
        << m.dialogs.messages[0].text.toStdString();
    EXPECT_EQ(m.fileMarks->held().size(), 1);

    // The next mark is written; the pending one neither blocks it nor is
    // told again.
    m.setRow(3, "C", "c,", "g,", "1,");
    m.state.currentProblem = 3;
    EXPECT_TRUE(AppendMarkedProblem(*m.form));
    EXPECT_EQ(m.bytes(), old + TestFiles::lines({"C", "c,", "g,", "1,", ""}));
    EXPECT_EQ(m.dialogs.messages.size(), 1);
    EXPECT_EQ(m.fileMarks->held().size(), 1);
}

TEST(MarksFile, ARewriteKeepsWhatAnotherCopyWroteMeanwhile)
{
    // Records another copy appended after this one read the file go back
    // after the table's rows, unchanged and in their order, without a word.
    {
        Marks m;
        m.put(records({Placeholder, record("A"), record("B"), record("C")}));
        m.load();
        m.state.marked[2] = false;
        MarksStore other(m.dir.path());
        ASSERT_TRUE(other.append(record("D")).written);
        ASSERT_TRUE(other.append(record("E")).written);
        ASSERT_TRUE(RewriteMarksFile(*m.form));
        EXPECT_EQ(m.bytes(),
                  records({Placeholder, record("A"), record("C"), record("D"), record("E")}));
        EXPECT_TRUE(m.dialogs.messages.isEmpty());
    }
    // Changed in another way: this copy's rows, then every record of the
    // file it does not hold, in file order; a record held once is matched
    // once. The file's own placeholder is not a mark. Said once.
    {
        Marks m;
        m.put(records({Placeholder, record("A"), record("B"), record("C")}));
        m.load();
        m.state.marked[2] = false;
        m.put(records({record(QStringLiteral("問題０ 別の先頭")), record("C"), record("B"),
                       record("B"), record("D")}));
        ASSERT_TRUE(RewriteMarksFile(*m.form));
        EXPECT_EQ(m.bytes(),
                  records({Placeholder, record("A"), record("C"), record("B"), record("D")}));
        ASSERT_EQ(m.dialogs.messages.size(), 1);
        EXPECT_TRUE(m.dialogs.messages[0].text.contains(QStringLiteral("2件")));
        // What was written is now what this copy holds: a second rewrite of
        // the same table changes nothing and says nothing.
        ASSERT_TRUE(RewriteMarksFile(*m.form));
        EXPECT_EQ(m.bytes(),
                  records({Placeholder, record("A"), record("C"), record("B"), record("D")}));
        EXPECT_EQ(m.dialogs.messages.size(), 1);
    }
}

// A marks file an editor saved as UTF-8 is read, and the next write puts it
// back in code page 932; lines that are no record stay where they are
// through appends and are set aside by a rewrite.
TEST(MarksFile, Utf8AndForeignLinesSurviveEveryWrite)
{
    Marks m;
    const QStringList a = record(QStringLiteral("問題１\u3000ウニ"), QStringLiteral("\u3000説明"));
    const QStringList b = record(QStringLiteral("問題２\u3000ヒトデ"));
    const QStringList c = record(QStringLiteral("問題３\u3000カニ"));
    QStringList lines = Placeholder + a + QStringList{QStringLiteral("先生のメモ")} + b;
    m.put(lines.join("\r\n").toUtf8() + "\r\n");
    m.load();
    EXPECT_EQ(m.state.problemCount, 2);
    EXPECT_EQ(recordPart(m.state, 2, 0), b[0]);
    m.setRow(7, c[0], c[1], c[2], c[3]);
    m.state.markedSeries = false;
    m.state.currentProblem = 7;
    ASSERT_TRUE(AppendMarkedProblem(*m.form));
    const QByteArray expected = TestFiles::lines(lines) + records({{c[0], c[1], c[2], c[3], ""}});
    EXPECT_EQ(m.bytes(), expected) << "code page 932 now, every line kept";

    m.load();
    m.state.marked[1] = false;
    ASSERT_TRUE(RewriteMarksFile(*m.form));
    EXPECT_EQ(m.bytes(), records({Placeholder, b, {c[0], c[1], c[2], c[3], ""}}));
    EXPECT_EQ(TestFiles::readAll(m.path("Marked.txt.damaged")),
              TestFiles::lines({QStringLiteral("先生のメモ")}))
        << "set aside, never mixed with records";
}
