// A class's shared drive: the folder belongs to the teacher and is read-only
// to learners, Marked.txt is writable. A real copy of the program, run as an
// unprivileged user, must still save its marks there, and no write may take
// the class's access to the file away.

#include "marks/MarksFile.h"
#include "series/SeriesState.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr gid_t Users = 100; // the class's group
const QString Learner = QStringLiteral("nobody");

QByteArray records(int count)
{
    QByteArray out = TestFiles::lines(MarksFile::placeholderRecord());
    for (int i = 1; i <= count; ++i) {
        out += TestFiles::lines({QStringLiteral("問題%1\u3000先生の記録").arg(i),
                                 QStringLiteral("ア,イ,"), QStringLiteral("甲,乙,"),
                                 QStringLiteral("1,2,"), QString()});
    }
    return out;
}

struct Shared {
    QTemporaryDir dir;
    QString folder() const { return dir.filePath("class"); }
    QString marks() const { return dir.filePath("class/Marked.txt"); }
    QString home() const { return dir.filePath("home"); }

    // The folder read-only to others, Marked.txt root:users with `mode`.
    Shared(int folderMode, mode_t mode, int records_ = 7)
    {
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        QDir(dir.path()).mkpath("class");
        QDir(dir.path()).mkpath("home");
        TestFiles::write(marks(), records(records_));
        EXPECT_EQ(::chown(QFile::encodeName(marks()).constData(), 0, Users), 0);
        EXPECT_EQ(::chmod(QFile::encodeName(marks()).constData(), mode), 0);
        EXPECT_EQ(::chmod(QFile::encodeName(folder()).constData(), folderMode), 0);
        EXPECT_EQ(::chown(QFile::encodeName(home()).constData(), 65534, 65534), 0);
    }

    // The program's marks writer as the learner; its exit status.
    int runAsLearner(const QStringList& sharerArgs, const QStringList& groups = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home());
        env.remove("XDG_DATA_HOME");
        p.setProcessEnvironment(env);
        QStringList args = {"--reuid=" + Learner, "--regid=nogroup"};
        args += groups.isEmpty() ? QStringList{"--clear-groups"}
                                 : QStringList{"--groups=" + groups.join(',')};
        args += QStringList{"--", QStringLiteral(MARKS_SHARER), folder()} + sharerArgs;
        p.start("setpriv", args);
        EXPECT_TRUE(p.waitForStarted());
        EXPECT_TRUE(p.waitForReadyRead(20000));
        p.write("g");
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        lastError = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitCode();
    }

    struct stat info() const
    {
        struct stat st {
        };
        ::stat(QFile::encodeName(marks()).constData(), &st);
        return st;
    }

    QString lastError;
};

bool runsAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

TEST(SharedFolder, ALearnerAppendsInPlaceWhereOnlyTheFileIsWritable)
{
    if (!runsAsRoot()) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    Shared s(0755, 0666);
    // A record torn by an earlier write cannot be set aside in this folder:
    // it stays, and the new records must still read whole after it.
    QByteArray before = TestFiles::readAll(s.marks());
    before += TestFiles::lines({QStringLiteral("問題8\u3000途中"), QStringLiteral("ア,イ,")});
    TestFiles::write(s.marks(), before);
    ASSERT_EQ(s.runAsLearner({"L", "3", "1"}), 0) << s.lastError.toStdString();
    const QByteArray after = TestFiles::readAll(s.marks());
    EXPECT_TRUE(after.startsWith(before));
    SeriesState state;
    MarksStore store(s.folder());
    QList<MarksFinding> found;
    ASSERT_EQ(store.read(state, "Marked.txt", &found), 10) << "seven, then three appended";
    EXPECT_TRUE(state.problems[10].fullQuestion().startsWith(QStringLiteral("問題L3")));
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found.at(0).line, 41) << "the torn record, named";
    EXPECT_EQ(s.info().st_uid, 0U);
    EXPECT_EQ(s.info().st_gid, Users);
    EXPECT_EQ(s.info().st_mode & 07777, 0666U);
    EXPECT_FALSE(QFileInfo::exists(s.folder() + "/Marked.txt.lock"));
}

TEST(SharedFolder, ARewriteInPlaceKeepsACopyFirstOrLeavesTheFile)
{
    if (!runsAsRoot()) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    // Without a folder of its own for the copy: nothing is rewritten.
    {
        Shared s(0755, 0666);
        ::chmod(QFile::encodeName(s.home()).constData(), 0555);
        ASSERT_EQ(::chown(QFile::encodeName(s.home()).constData(), 0, 0), 0);
        ASSERT_EQ(s.runAsLearner({"L", "1", "1", "rewrite-after", "1"}), 3);
        EXPECT_TRUE(s.lastError.contains(QStringLiteral("前のまま"))) << s.lastError.toStdString();
        EXPECT_EQ(TestFiles::readAll(s.marks()).count("\r\n"), 5 * 9) << "the append only";
    }
    Shared s(0755, 0666);
    ASSERT_EQ(s.runAsLearner({"L", "1", "1", "rewrite-after", "1"}), 0)
        << s.lastError.toStdString();
    const QByteArray after = TestFiles::readAll(s.marks());
    EXPECT_EQ(after.count("\r\n"), 5 * 7) << "two of eight marks removed";
    EXPECT_FALSE(after.contains(TestFiles::cp932(QStringLiteral("問題2\u3000"))));
    const QString copy = s.home() + "/.local/share/velmorant/Marked.txt.backup";
    EXPECT_EQ(TestFiles::readAll(copy).count("\r\n"), 5 * 9) << "the whole file before";
    EXPECT_EQ(s.info().st_uid, 0U);
    EXPECT_EQ(s.info().st_mode & 07777, 0666U);
}

// In a folder the learner may write in, the file is replaced: the new file
// is the learner's, but keeps the class's group and mode.
TEST(SharedFolder, AReplacedFileKeepsItsGroupAndMode)
{
    if (!runsAsRoot()) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    Shared member(0777, 0664);
    ASSERT_EQ(member.runAsLearner({"L", "2", "1"}, {"100"}), 0) << member.lastError.toStdString();
    EXPECT_EQ(member.info().st_uid, 65534U);
    EXPECT_EQ(member.info().st_gid, Users);
    EXPECT_EQ(member.info().st_mode & 07777, 0664U);

    // A learner outside the group could not give a new file the group:
    // the file is written in place and stays the teacher's.
    Shared outsider(0777, 0666);
    ASSERT_EQ(outsider.runAsLearner({"L", "2", "1"}), 0) << outsider.lastError.toStdString();
    EXPECT_EQ(outsider.info().st_uid, 0U);
    EXPECT_EQ(outsider.info().st_gid, Users);
    EXPECT_EQ(outsider.info().st_mode & 07777, 0666U);
}
