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

// Files are decoded in one piece and then cut into lines: long lines of
// double-byte text with every kind of line end must come out as if each line
// were decoded alone, in either encoding, with their places in the file.
TEST(TextFile, WholeFileDecodingKeepsEveryLineAndItsPlace)
{
    struct Expected {
        QString text;
        qsizetype byteOffset;
        qsizetype byteEnd;
        bool terminated;   // cppcheck-suppress unusedStructMember
        qsizetype textEnd; // where its line end begins
    };
    const QList<QByteArray> ends = {"\r\n", "\r", "\n", "\r\n\r\n", "\n\r"};
    for (const bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8 ? "UTF-8" : "code page 932");
        QByteArray bytes = utf8 ? QByteArray("\xEF\xBB\xBF") : QByteArray();
        QList<Expected> expected;
        // Lines of 0 to 40 characters, so that line ends fall at every place
        // of a 16-byte block, and a CR LF across two.
        for (int n = 0; n <= 40; ++n) {
            QString text;
            for (int i = 0; i < n; ++i) {
                text += i % 3 == 2 ? QChar(u'a' + i % 26) : QChar(u"ウニ問題ｱ\u3000"[i % 5]);
            }
            const QByteArray raw = utf8 ? text.toUtf8() : TestFiles::cp932(text);
            const QByteArray& end = ends.at(n % ends.size());
            const qsizetype offset = bytes.size();
            bytes += raw;
            // The first line end closes this line; a second opens an empty one.
            const qsizetype firstEnd = end.startsWith("\r\n") ? 2 : 1;
            expected.append(
                {text, offset, offset + raw.size() + firstEnd, true, offset + raw.size()});
            if (end.size() > firstEnd) {
                expected.append({QString(), offset + raw.size() + firstEnd,
                                 offset + raw.size() + end.size(), true,
                                 offset + raw.size() + firstEnd});
            }
            bytes += end;
        }
        const QByteArray last =
            utf8 ? QStringLiteral("終わり").toUtf8() : TestFiles::cp932(QStringLiteral("終わり"));
        expected.append({QStringLiteral("終わり"), bytes.size(), bytes.size() + last.size(), false,
                         bytes.size() + last.size()});
        bytes += last;

        const auto r = TextFile::decode(bytes);
        ASSERT_TRUE(r.ok());
        ASSERT_EQ(r.lines.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(r.lines.at(i).text, expected.at(i).text);
            EXPECT_EQ(r.lines.at(i).byteOffset, expected.at(i).byteOffset);
            EXPECT_EQ(r.lines.at(i).byteEnd, expected.at(i).byteEnd);
            EXPECT_EQ(r.lines.at(i).terminated, expected.at(i).terminated);
        }

        // A lead byte cut off by a line end deep in the file names its line
        // and keeps the lines before it.
        QByteArray cut = bytes;
        cut.insert(expected.at(30).textEnd, utf8 ? QByteArray("\xE3\x81") : QByteArray("\x82"));
        const auto bad = TextFile::decode(cut);
        EXPECT_EQ(bad.status, TextFile::ReadResult::Status::BadEncoding);
        EXPECT_EQ(bad.badLine, 31);
        ASSERT_EQ(bad.lines.size(), 30);
        EXPECT_EQ(bad.lines.at(29).text, expected.at(29).text);
        EXPECT_EQ(bad.lines.at(29).byteEnd, expected.at(29).byteEnd);
    }
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
