#include "files/WorkFolder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

// A home folder, a current folder and an installed sample folder, all empty
// but for the samples.
struct Machine {
    QTemporaryDir root;
    WorkFolder::Places places;

    Machine()
    {
        const QDir r(root.path());
        for (const char* name : {"home", "current", "prefix/share/velmorant"}) {
            r.mkpath(QString::fromLatin1(name));
        }
        places = {r.filePath("current"), r.filePath("prefix/share/velmorant"), QString(),
                  r.filePath("home")};
        sample("ZQCList.TXT", "Sample,S.TXT\r\n");
        sample("S.TXT", "series");
        sample("Marked.txt", "no marks");
        sample("Seikai.WAV", "RIFF");
    }

    void sample(const char* name, const QByteArray& bytes) const
    {
        TestFiles::write(QDir(places.samples).filePath(QString::fromLatin1(name)), bytes);
    }

    QString userFolder() const { return QDir(places.home).filePath(".local/share/velmorant"); }
};

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

QByteArray read(const QString& folder, const char* name)
{
    return TestFiles::readAll(QDir(folder).filePath(QString::fromLatin1(name)));
}

} // namespace

TEST(WorkFolder, FirstStartFillsTheUserFolderAndLaterStartsReplaceNothing)
{
    Machine m;
    WorkFolder::Choice c = WorkFolder::prepare({}, m.places);
    ASSERT_TRUE(c.error.isEmpty()) << c.error.toStdString();
    EXPECT_EQ(c.folder, m.userFolder());
    EXPECT_EQ(filesIn(c.folder), filesIn(m.places.samples));
    EXPECT_EQ(read(c.folder, "ZQCList.TXT"), "Sample,S.TXT\r\n");

    // The user's marks and a teacher's own series stay as they are.
    TestFiles::write(QDir(c.folder).filePath("Marked.txt"), "my marks");
    TestFiles::write(QDir(c.folder).filePath("ZQCList.TXT"), "Mine,M.TXT\r\n");
    QFile::remove(QDir(c.folder).filePath("S.TXT"));
    c = WorkFolder::prepare({}, m.places);
    ASSERT_TRUE(c.error.isEmpty()) << c.error.toStdString();
    EXPECT_EQ(c.folder, m.userFolder());
    EXPECT_EQ(read(c.folder, "Marked.txt"), "my marks");
    EXPECT_EQ(read(c.folder, "ZQCList.TXT"), "Mine,M.TXT\r\n");
    EXPECT_FALSE(QFileInfo::exists(QDir(c.folder).filePath("S.TXT")));

    // Nothing was written beside the samples or in the current folder.
    EXPECT_EQ(filesIn(m.places.samples),
              (QStringList{"Marked.txt", "S.TXT", "Seikai.WAV", "ZQCList.TXT"}));
    EXPECT_TRUE(filesIn(m.places.current).isEmpty());
}

TEST(WorkFolder, UserFolderFollowsXdgDataHome)
{
    Machine m;
    m.places.dataHome = QDir(m.root.path()).filePath("data");
    EXPECT_EQ(WorkFolder::prepare({}, m.places).folder,
              QDir(m.places.dataHome).filePath("velmorant"));
    // A relative XDG_DATA_HOME is invalid and counts as unset.
    m.places.dataHome = "relative/data";
    EXPECT_EQ(WorkFolder::userFolder(m.places), m.userFolder());
}

TEST(WorkFolder, CurrentFolderWithACatalogueWinsButNeverTheSampleFolder)
{
    Machine m;
    TestFiles::write(QDir(m.places.current).filePath("ZQCList.TXT"), "Teacher,T.TXT\r\n");
    WorkFolder::Choice c = WorkFolder::prepare({}, m.places);
    EXPECT_EQ(c.folder, m.places.current);
    // Used as it is: no sample file is added to a teacher's folder.
    EXPECT_EQ(filesIn(m.places.current), QStringList{"ZQCList.TXT"});
    EXPECT_FALSE(QFileInfo::exists(m.userFolder()));

    // Started inside the installed samples, it still works in the user's folder.
    m.places.current = m.places.samples;
    c = WorkFolder::prepare({}, m.places);
    EXPECT_EQ(c.folder, m.userFolder());
}

TEST(WorkFolder, FolderArgumentWinsOverBoth)
{
    Machine m;
    TestFiles::write(QDir(m.places.current).filePath("ZQCList.TXT"), "Teacher,T.TXT\r\n");
    // A new folder, given relative to the current one, is made and filled.
    WorkFolder::Choice c = WorkFolder::prepare({"class/2b"}, m.places);
    ASSERT_TRUE(c.error.isEmpty()) << c.error.toStdString();
    EXPECT_EQ(c.folder, QDir(m.places.current).filePath("class/2b"));
    EXPECT_EQ(filesIn(c.folder), filesIn(m.places.samples));
    EXPECT_FALSE(QFileInfo::exists(m.userFolder()));

    // A folder with its own catalogue is used as it is.
    const QString own = QDir(m.root.path()).filePath("own");
    QDir().mkpath(own);
    TestFiles::write(QDir(own).filePath("ZQCList.TXT"), "Own,O.TXT\r\n");
    c = WorkFolder::prepare({own}, m.places);
    EXPECT_EQ(c.folder, own);
    EXPECT_EQ(filesIn(own), QStringList{"ZQCList.TXT"});

    // A folder made on Windows, its names in capitals, is a work folder as
    // well, given or current: no sample beside the learner's MARKED.TXT.
    const QString windows = QDir(m.root.path()).filePath("windows");
    QDir().mkpath(windows);
    TestFiles::write(QDir(windows).filePath("ZQCLIST.TXT"), "Own,O.TXT\r\n");
    TestFiles::write(QDir(windows).filePath("MARKED.TXT"), "marks");
    const QStringList before = filesIn(windows);
    EXPECT_EQ(WorkFolder::prepare({windows}, m.places).folder, windows);
    m.places.current = windows;
    EXPECT_EQ(WorkFolder::prepare({}, m.places).folder, windows);
    EXPECT_EQ(filesIn(windows), before);
    // A catalogue-less folder gets the samples, but never a second marks file.
    QFile::remove(QDir(windows).filePath("ZQCLIST.TXT"));
    ASSERT_TRUE(WorkFolder::prepare({windows}, m.places).error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QDir(windows).filePath("Marked.txt")));
    EXPECT_EQ(read(windows, "MARKED.TXT"), "marks");
}

TEST(WorkFolder, UnusableFoldersAndArgumentsAreRefusedWithAReason)
{
    Machine m;
    const QString file = QDir(m.root.path()).filePath("a-file");
    TestFiles::write(file, "x");
    for (const QStringList& args : {QStringList{"a", "b"}, QStringList{"--help"}, QStringList{""},
                                    QStringList{file}, QStringList{m.places.samples}}) {
        const WorkFolder::Choice c = WorkFolder::prepare(args, m.places);
        EXPECT_TRUE(c.folder.isEmpty()) << args.join(' ').toStdString();
        EXPECT_FALSE(c.error.isEmpty()) << args.join(' ').toStdString();
    }
    EXPECT_EQ(TestFiles::readAll(file), "x");
    EXPECT_EQ(filesIn(m.places.samples).size(), 4);

    // No samples installed: a message, not an empty folder taken for a good one.
    QFile::remove(QDir(m.places.samples).filePath("ZQCList.TXT"));
    const WorkFolder::Choice c = WorkFolder::prepare({}, m.places);
    EXPECT_TRUE(c.folder.isEmpty());
    EXPECT_TRUE(c.error.contains(QStringLiteral("見本")));
}

TEST(WorkFolder, AFillCutShortLeavesNoHalfFileAndIsFinishedNextTime)
{
    Machine m;
    // Named to sort after the catalogue.
    m.sample("Zz.WAV", QByteArray(65536, 'w'));
    WorkFolder::Choice c;
    {
        // A full disk: the big file cannot be written.
        TestFiles::FileSizeLimit limit(32 * 1024);
        c = WorkFolder::prepare({}, m.places);
    }
    EXPECT_TRUE(c.folder.isEmpty());
    EXPECT_TRUE(c.error.contains("Zz.WAV")) << c.error.toStdString();
    const QStringList partial = filesIn(m.userFolder());
    EXPECT_FALSE(partial.contains("Zz.WAV"));
    // The catalogue comes last, so the folder does not yet pass for filled.
    EXPECT_FALSE(partial.contains("ZQCList.TXT"));

    c = WorkFolder::prepare({}, m.places);
    ASSERT_TRUE(c.error.isEmpty()) << c.error.toStdString();
    EXPECT_EQ(read(c.folder, "Zz.WAV").size(), 65536);
    EXPECT_EQ(filesIn(c.folder), filesIn(m.places.samples));
}

TEST(WorkFolder, SamplesAreFoundBesideTheProgram)
{
    QTemporaryDir root;
    const QDir r(root.path());
    r.mkpath("prefix/bin");
    r.mkpath("build/share/velmorant/samples");
    // In the build folder: the copy beside the program.
    EXPECT_EQ(WorkFolder::samplesBeside(r.filePath("build")),
              r.filePath("build/share/velmorant/samples"));
    // Installed: <prefix>/share/velmorant/samples, wherever the prefix is, and
    // never share/velmorant itself, the user's folder when the prefix is ~/.local.
    // Missing, or hidden from this user by a package made under umask 027:
    // the message names the installed place, not prefix/bin/share/...
    EXPECT_EQ(WorkFolder::samplesBeside(r.filePath("prefix/bin")),
              r.filePath("prefix/share/velmorant/samples"));
    r.mkpath("prefix/share/velmorant/samples");
    EXPECT_EQ(WorkFolder::samplesBeside(r.filePath("prefix/bin")),
              r.filePath("prefix/share/velmorant/samples"));
}
