#include "files/FileLookup.h"
#include "files/TextEncoding.h"
#include "files/TextFile.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QStringList sampleTextFiles()
{
    const QDir data(TestFiles::sourceDir() + QStringLiteral("/data"));
    QStringList out;
    for (const QString& name :
         data.entryList({QStringLiteral("*.txt"), QStringLiteral("*.TXT")}, QDir::Files)) {
        out.append(data.filePath(name));
    }
    return out;
}

QByteArray utf8(const QStringList& lines)
{
    return lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

} // namespace

// Every sample file is code page 932 and must read exactly as before; the
// same text saved as UTF-8, with or without a byte order mark, must read the
// same.
TEST(TeacherFiles, SampleFilesAndTheirUtf8CopiesReadAlike)
{
    const QStringList files = sampleTextFiles();
    ASSERT_GE(files.size(), 5);
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray bytes = TestFiles::readAll(path);
        EXPECT_EQ(TextEncoding::detect(bytes).encoding, TextEncoding::Encoding::Cp932);
        const TextFile::ReadResult cp932 = TextFile::read(path);
        ASSERT_TRUE(cp932.ok());
        const TextFile::ReadResult strict = TextFile::read(path, TextFile::Accept::Cp932Only);
        EXPECT_EQ(cp932.texts(), strict.texts());

        const QByteArray plain = utf8(cp932.texts());
        ASSERT_NE(plain, bytes);
        for (const QByteArray& copy : {plain, QByteArray("\xEF\xBB\xBF") + plain}) {
            const TextFile::ReadResult u = TextFile::decode(copy);
            ASSERT_TRUE(u.ok());
            EXPECT_EQ(u.encoding, TextEncoding::Encoding::Utf8);
            EXPECT_EQ(u.texts(), cp932.texts());
        }
        // What the program writes itself is never taken for UTF-8.
        const TextFile::ReadResult own = TextFile::decode(plain, TextFile::Accept::Cp932Only);
        EXPECT_NE(own.texts(), cp932.texts());
    }
}

TEST(TeacherFiles, Utf8NeedsAMultiByteSequenceOrAByteOrderMark)
{
    using TextEncoding::Encoding;
    // Plain ASCII reads the same either way; it stays code page 932.
    EXPECT_EQ(TextEncoding::detect("abc,def\r\n").encoding, Encoding::Cp932);
    // A byte order mark before code page 932 text (an editor added it) is
    // skipped and the text read as code page 932.
    const TextFile::ReadResult marked = TextFile::decode("\xEF\xBB\xBF"
                                                         "ok\r\n\x82\xA0\r\n");
    ASSERT_TRUE(marked.ok());
    EXPECT_EQ(marked.texts(), (QStringList{"ok", QStringLiteral("あ")}));
    // Before bytes that are neither, the mark decides: they are reported.
    const TextFile::ReadResult bad = TextFile::decode("\xEF\xBB\xBF"
                                                      "ok\r\n\x82\xFF\r\n");
    EXPECT_EQ(bad.status, TextFile::ReadResult::Status::BadEncoding);
    EXPECT_EQ(bad.badLine, 2);
    EXPECT_EQ(bad.lines.value(0).byteOffset, 3);
    // Short code page 932 texts that break the UTF-8 rules: kana, half-width
    // kana, and a kanji pair whose bytes look like a UTF-8 lead byte.
    for (const QString& text : {QStringLiteral("あ"), QStringLiteral("ｱｲｳ"), QStringLiteral("漢字"),
                                QStringLiteral("問題１　ウニ"), QStringLiteral("ＡＢＣ")}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(TextEncoding::detect(TestFiles::cp932(text)).encoding, Encoding::Cp932);
    }
    // Overlong forms, surrogates and cut-off sequences are not UTF-8.
    for (const char* b :
         {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE3\x81"}) {
        EXPECT_FALSE(TextEncoding::isValidUtf8(b)) << b;
    }
    EXPECT_TRUE(TextEncoding::isValidUtf8("\xF0\x9F\x98\x80"));
}

TEST(TeacherFiles, NamesFromWindowsFindTheirFile)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    QDir(d).mkpath(QStringLiteral("Sub/Inner"));
    TestFiles::write(d + QStringLiteral("/plants.txt"), "p");
    TestFiles::write(d + QStringLiteral("/Sub/Inner/Deep.TXT"), "q");
    TestFiles::write(d + QStringLiteral("/Two.txt"), "1");
    TestFiles::write(d + QStringLiteral("/TWO.txt"), "2");

    using FileLookup::resolve;
    for (const QString& name : {QStringLiteral("PLANTS.TXT"), QStringLiteral("Plants.txt"),
                                QStringLiteral("plants.txt")}) {
        EXPECT_EQ(resolve(d, name), d + QStringLiteral("/plants.txt")) << name.toStdString();
    }
    EXPECT_EQ(resolve(d, QStringLiteral("sub\\inner\\deep.txt")),
              d + QStringLiteral("/Sub/Inner/Deep.TXT"));
    EXPECT_EQ(resolve(d, QStringLiteral("Sub/Inner/Deep.TXT")),
              d + QStringLiteral("/Sub/Inner/Deep.TXT"));
    // An exact match wins over a case variant; several variants and no
    // exact match find nothing rather than a guess.
    EXPECT_EQ(resolve(d, QStringLiteral("TWO.txt")), d + QStringLiteral("/TWO.txt"));
    EXPECT_FALSE(QFileInfo::exists(resolve(d, QStringLiteral("two.txt"))));
    // A missing file keeps the name asked for, so it is created as such.
    EXPECT_EQ(resolve(d, QStringLiteral("Marked.txt")), d + QStringLiteral("/Marked.txt"));
    EXPECT_EQ(resolve(d, QStringLiteral("SUB\\New.txt")), d + QStringLiteral("/Sub/New.txt"));
}

// The whole road: a UTF-8 catalogue made on Windows names a UTF-8 series in
// another case and folder, and a mark goes to the MARKED.TXT already there.
TEST(TeacherFiles, WindowsCatalogueLoadsItsSeriesAndMarksTheExistingFile)
{
    Harness h;
    QDir(h.dir.path()).mkdir(QStringLiteral("Sub"));
    TestFiles::write(h.path("zqclist.txt"),
                     "\xEF\xBB\xBF" + utf8({QStringLiteral("植物,sub\\PLANTS.TXT")}));
    TestFiles::write(h.path("Sub/plants.txt"),
                     utf8({QStringLiteral("問題１ 植物"), QStringLiteral("Ａ群"),
                           QStringLiteral("・コケ ・シダ"), QStringLiteral("Ｂ群"),
                           QStringLiteral("ａ．胞子"), QStringLiteral("正解a,a,")}));
    const QByteArray marks = TestFiles::lines({QStringLiteral("問題０"), "", "", "", ""});
    TestFiles::write(h.path("MARKED.TXT"), marks);
    h.session->start();
    ASSERT_EQ(h.form->seriesList.Entries.value(1), QStringLiteral("植物"));
    h.form->seriesList.ListIndex = 1;
    h.session->open(h.form->seriesList.ListIndex);
    ASSERT_TRUE(h.dialogs.messages.isEmpty()) << h.dialogs.messages[0].text.toStdString();
    EXPECT_EQ(h.state.problemCount, 1);
    EXPECT_EQ(recordPart(h.state, 1, 1), QStringLiteral("コケ,シダ,"));

    h.state.currentProblem = 1;
    h.state.markPending = true;
    h.session->leave();
    EXPECT_FALSE(QFileInfo::exists(h.path("Marked.txt")));
    const QByteArray after = TestFiles::readAll(h.path("MARKED.TXT"));
    EXPECT_TRUE(after.startsWith(marks));
    EXPECT_TRUE(after.contains(TestFiles::cp932(QStringLiteral("コケ,シダ,"))));
}
