#include "files/TextFile.h"
#include "files/SafeWrite.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(TextFile, MicrosoftMappingRoundTrips)
{
    // The characters where code page 932 differs from plain Shift-JIS, and
    // the full-width space the formats use as a blank.
    const QString text = QStringLiteral("～①\u3000ウニ－≒");
    QByteArray bytes;
    ASSERT_TRUE(TextFile::encodeText(text, &bytes));
    EXPECT_EQ(bytes.left(6), QByteArray("\x81\x60\x87\x40\x81\x40", 6));
    QString back;
    ASSERT_TRUE(TextFile::decodeText(bytes, &back));
    EXPECT_EQ(back, text);
}

TEST(TextFile, CharacterWithoutCodeIsRefused)
{
    QByteArray bytes;
    QChar bad;
    EXPECT_FALSE(TextFile::encodeText(QStringLiteral("ウニé"), &bytes, &bad));
    EXPECT_EQ(bad, QChar(0xE9));
}

TEST(TextFile, SplitsLinesOnCrLfCrAndLf)
{
    const auto r = TextFile::decode(QByteArray("a\r\nb\rc\nd"));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.texts(), (QStringList{"a", "b", "c", "d"}));
    EXPECT_TRUE(r.lines.at(0).terminated);
    EXPECT_FALSE(r.lines.at(3).terminated);
    EXPECT_EQ(r.lines.at(1).byteOffset, 3);
    // An empty line is a line; the final line end opens none.
    EXPECT_EQ(TextFile::decode(QByteArray("x\r\n\r\n")).texts(), (QStringList{"x", ""}));
}

TEST(TextFile, BadBytesNameTheirLineAndNothingIsReplaced)
{
    QByteArray bytes = TestFiles::lines({QStringLiteral("問題１"), QStringLiteral("ウニ")});
    bytes += QByteArray("\x82\xFF\r\n", 4);
    bytes += TestFiles::lines({QStringLiteral("後")});
    const auto r = TextFile::decode(bytes);
    EXPECT_EQ(r.status, TextFile::ReadResult::Status::BadEncoding);
    EXPECT_EQ(r.badLine, 3);
    EXPECT_EQ(r.lines.size(), 2);

    // A lead byte cut off by the end of the file is an error too.
    const auto cut = TextFile::decode(QByteArray("ab\x82", 3));
    EXPECT_EQ(cut.status, TextFile::ReadResult::Status::BadEncoding);
    EXPECT_EQ(cut.badLine, 1);
}

// The converters are kept from call to call: an error must neither stick to
// the next text nor be missed after the converter is made anew.
TEST(TextFile, ErrorsDoNotCarryOverFromCallToCall)
{
    QString text;
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(TextFile::decodeText(QByteArray("\x82\xFF", 2), &text)) << round;
        EXPECT_TRUE(TextFile::decodeText(QByteArray("\x83\x45"), &text)) << round;
        EXPECT_EQ(text, QStringLiteral("ウ"));
        EXPECT_FALSE(TextFile::decodeText(QByteArray("a\x82", 2), &text)) << round;
    }
    QByteArray bytes;
    QChar bad;
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(TextFile::encodeText(QStringLiteral("é"), &bytes, &bad)) << round;
        EXPECT_TRUE(TextFile::encodeText(QStringLiteral("ウ"), &bytes)) << round;
        EXPECT_EQ(bytes, QByteArray("\x83\x45"));
        EXPECT_FALSE(TextFile::encodeText(QStringLiteral("aé"), &bytes, &bad)) << round;
        EXPECT_EQ(bad, QChar(0xE9));
    }
}

TEST(TextFile, MissingAndUnreadableFiles)
{
    QTemporaryDir dir;
    EXPECT_EQ(TextFile::read(dir.filePath("none.txt")).status,
              TextFile::ReadResult::Status::Missing);
    QDir(dir.path()).mkdir("folder.txt");
    EXPECT_EQ(TextFile::read(dir.filePath("folder.txt")).status,
              TextFile::ReadResult::Status::Unreadable);
}

TEST(SafeWrite, ReplacesWholeAndFailsWithoutTouchingTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.txt");
    EXPECT_TRUE(WriteFileAtomically(path, "old").isEmpty());
    EXPECT_TRUE(WriteFileAtomically(path, "new bytes").isEmpty());
    EXPECT_EQ(TestFiles::readAll(path), QByteArray("new bytes"));

    {
        const TestFiles::FileSizeLimit full(4);
        EXPECT_FALSE(WriteFileAtomically(path, "a longer third text").isEmpty());
    }
    EXPECT_EQ(TestFiles::readAll(path), QByteArray("new bytes"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left";
}
