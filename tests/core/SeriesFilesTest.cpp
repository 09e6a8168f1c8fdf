#include "series/SeriesFiles.h"
#include "series/CatalogEdit.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

const QString Series = QStringLiteral("Bio1.TXT");

QString historyOf(const QTemporaryDir& dir, const QString& stem)
{
    return QDir(dir.filePath(SeriesFiles::historyFolder()))
        .entryList({stem + QStringLiteral("@*")}, QDir::Files)
        .join(QLatin1Char(' '));
}

} // namespace

// A save keeps the file's own encoding and line ends, refuses what the
// encoding cannot hold without touching the file, and keeps the version
// before it.
TEST(SeriesFiles, SaveKeepsTheFilesEncodingAndLineEnds)
{
    QTemporaryDir dir;
    const QByteArray before =
        TestFiles::lines({QStringLiteral("問題1 細胞"), QStringLiteral("核")});
    TestFiles::write(dir.filePath(Series), before);
    SeriesFiles::Saved s =
        SeriesFiles::save(dir.path(), QStringLiteral("bio1.txt"),
                          QStringLiteral("問題1 細胞\n核と膜\n"), SeriesFiles::versionOf(before));
    ASSERT_EQ(s.status, 200) << s.error.toStdString();
    const QByteArray after = TestFiles::readAll(dir.filePath(Series));
    EXPECT_EQ(after, TestFiles::lines({QStringLiteral("問題1 細胞"), QStringLiteral("核と膜")}));
    EXPECT_EQ(s.version, SeriesFiles::versionOf(after));
    EXPECT_FALSE(historyOf(dir, QStringLiteral("Bio1")).isEmpty());

    s = SeriesFiles::save(dir.path(), Series, QStringLiteral("問題1\n\n𠮷野家\n"), s.version);
    EXPECT_EQ(s.status, 400);
    EXPECT_TRUE(s.error.contains(QStringLiteral("3行目")) && s.error.contains(QStringLiteral("𠮷")))
        << s.error.toStdString();
    EXPECT_EQ(TestFiles::readAll(dir.filePath(Series)), after);

    // UTF-8 with LF stays so, and takes what code page 932 cannot hold.
    const QByteArray utf8 = QStringLiteral("問題1 細胞\n核\n").toUtf8();
    TestFiles::write(dir.filePath(QStringLiteral("U.TXT")), utf8);
    s = SeriesFiles::save(dir.path(), QStringLiteral("U.TXT"), QStringLiteral("問題1 𠮷\r\n核\r\n"),
                          SeriesFiles::versionOf(utf8));
    ASSERT_EQ(s.status, 200) << s.error.toStdString();
    EXPECT_EQ(TestFiles::readAll(dir.filePath(QStringLiteral("U.TXT"))),
              QStringLiteral("問題1 𠮷\n核\n").toUtf8());
}

// A save made from a version another save replaced is refused with the
// file as it is now; the versions kept are the last 20 of that file alone.
TEST(SeriesFiles, StaleSaveIsRefusedAndHistoryKeepsTwenty)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(Series), TestFiles::lines({QStringLiteral("版0")}));
    QDir(dir.path()).mkpath(SeriesFiles::historyFolder());
    TestFiles::write(dir.filePath(SeriesFiles::historyFolder() + QStringLiteral("/Bio10@1.TXT")),
                     "x");
    QString version = SeriesFiles::versionOf(TestFiles::readAll(dir.filePath(Series)));
    const QString first = version;
    for (int n = 1; n <= 25; ++n) {
        const SeriesFiles::Saved s =
            SeriesFiles::save(dir.path(), Series, QStringLiteral("版%1\n").arg(n), version);
        ASSERT_EQ(s.status, 200) << s.error.toStdString();
        version = s.version;
    }
    const SeriesFiles::Saved stale =
        SeriesFiles::save(dir.path(), Series, QStringLiteral("古い版から\n"), first);
    EXPECT_EQ(stale.status, 409);
    EXPECT_EQ(stale.version, version);
    EXPECT_EQ(stale.bytes, TestFiles::lines({QStringLiteral("版25")}));
    EXPECT_EQ(TestFiles::readAll(dir.filePath(Series)), stale.bytes);
    const QStringList kept = historyOf(dir, QStringLiteral("Bio1")).split(QLatin1Char(' '));
    EXPECT_EQ(kept.size(), SeriesFiles::HistoryKept);
    EXPECT_EQ(TestFiles::readAll(
                  dir.filePath(SeriesFiles::historyFolder() + QLatin1Char('/') + kept.last())),
              TestFiles::lines({QStringLiteral("版24")}));
    EXPECT_EQ(historyOf(dir, QStringLiteral("Bio10")), QStringLiteral("Bio10@1.TXT"));
}

// Every change of the catalogue leaves the other lines' bytes as they were
// (a line the reader cannot decode, a blank line, a third field) and keeps
// the file's encoding and line ends; a removed series' file is kept aside.
TEST(SeriesFiles, CatalogueChangesKeepTheOtherLines)
{
    QTemporaryDir dir;
    const QByteArray bad = "\x81\x7f\xff,Bad.TXT";
    const QByteArray catalogue = TestFiles::cp932(QStringLiteral("生物1,Bio1.TXT\r\n")) + bad +
                                 "\r\n\r\n" +
                                 TestFiles::cp932(QStringLiteral("生物2,Bio2.TXT,余り\r\n"));
    const QString path = dir.filePath(QStringLiteral("ZQCList.TXT"));
    TestFiles::write(path, catalogue);
    TestFiles::write(dir.filePath(QStringLiteral("Bio2.TXT")), "old");
    const QString d = dir.path();
    EXPECT_EQ(CatalogEdit::add(d, QStringLiteral("細胞, 膜"), QStringLiteral("Cell.TXT")).status,
              200);
    EXPECT_EQ(CatalogEdit::move(d, QStringLiteral("cell.txt"), -1).status, 200);
    EXPECT_EQ(CatalogEdit::rename(d, QStringLiteral("Bio1.TXT"), QStringLiteral("生物 一")).status,
              200);
    EXPECT_EQ(CatalogEdit::move(d, QStringLiteral("Bio1.TXT"), -1).status, 409);
    EXPECT_EQ(CatalogEdit::add(d, QStringLiteral("𠮷"), QStringLiteral("X.TXT")).status, 400);
    EXPECT_EQ(
        TestFiles::readAll(path),
        TestFiles::cp932(QStringLiteral("生物 一,Bio1.TXT\r\n")) + bad + "\r\n\r\n" +
            TestFiles::cp932(QStringLiteral("\"細胞, 膜\",Cell.TXT\r\n生物2,Bio2.TXT,余り\r\n")));

    EXPECT_EQ(CatalogEdit::remove(d, QStringLiteral("Bio2.TXT")).status, 200);
    EXPECT_EQ(SeriesFiles::putAside(d, QStringLiteral("Bio2.TXT")), QString());
    TestFiles::write(dir.filePath(QStringLiteral("Bio2.TXT")), "new");
    EXPECT_EQ(SeriesFiles::putAside(d, QStringLiteral("bio2.txt")), QString());
    const QDir removed(dir.filePath(SeriesFiles::removedFolder()));
    EXPECT_EQ(TestFiles::readAll(removed.filePath(QStringLiteral("Bio2.TXT"))), "old");
    EXPECT_EQ(removed.entryList(QDir::Files).size(), 2);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("Bio2.TXT"))));

    // A UTF-8 catalogue with LF stays so.
    TestFiles::write(path, QStringLiteral("生物1,Bio1.TXT\n").toUtf8());
    EXPECT_EQ(CatalogEdit::add(d, QStringLiteral("𠮷"), QStringLiteral("X.TXT")).status, 200);
    EXPECT_EQ(TestFiles::readAll(path), QStringLiteral("生物1,Bio1.TXT\n𠮷,X.TXT\n").toUtf8());
}

TEST(SeriesFiles, NamesNeverLeaveTheFolder)
{
    for (const char* good : {"Bio5.TXT", "a-b_c.txt", "CONSOLE.TXT"}) {
        EXPECT_EQ(SeriesFiles::badName(QString::fromLatin1(good)), QString()) << good;
    }
    for (const QString& bad :
         {QStringLiteral("../Bio1.TXT"), QStringLiteral("a/b.TXT"), QStringLiteral("a\\b.TXT"),
          QStringLiteral("a") + QChar(0) + QStringLiteral(".TXT"), QStringLiteral("..TXT"),
          QStringLiteral("con.TXT"), QStringLiteral("COM1.txt"), QStringLiteral("Lpt9.TXT"),
          QStringLiteral("nul.txt"), QStringLiteral("ZQCList.txt"), QStringLiteral("生物.TXT"),
          QStringLiteral("Bio1.TXT.exe"), QString()}) {
        EXPECT_NE(SeriesFiles::badName(bad), QString()) << bad.toStdString();
    }
    // A series the catalogue lists already may have a Japanese name; it is
    // still a plain name in the folder.
    EXPECT_EQ(SeriesFiles::badListedName(QStringLiteral("生物 第1章.TXT")), QString());
    for (const QString& bad :
         {QStringLiteral("../生物.TXT"), QStringLiteral("..TXT"), QStringLiteral("a/生物.TXT"),
          QStringLiteral("生物\\b.TXT"), QStringLiteral("生物") + QChar(0) + QStringLiteral(".TXT"),
          QStringLiteral("AUX.txt"), QStringLiteral("C:生物.TXT"), QStringLiteral("生物")}) {
        EXPECT_NE(SeriesFiles::badListedName(bad), QString()) << bad.toStdString();
    }
}
