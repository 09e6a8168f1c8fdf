#include "files/FileCache.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <thread>

namespace
{

void put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Waits past the kernel's coarse clock, so the next write shows in the times.
void tick()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

} // namespace

// Made once while the file stays; made again when it is rewritten in place
// with as many bytes, or replaced by another file under its name.
TEST(FileCache, MakesAgainOnlyWhenTheFileChanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    put(path, "first");
    FileCache<QByteArray> cache(8, 0);
    int made = 0;
    const auto read = [&made](const QString& p) {
        ++made;
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    EXPECT_EQ(cache.get(path, read), "first");
    EXPECT_EQ(cache.get(path, read), "first");
    EXPECT_EQ(made, 1);
    tick();
    put(path, "again");
    EXPECT_EQ(cache.get(path, read), "again");
    EXPECT_EQ(made, 2);
    tick();
    const QString other = dir.filePath(QStringLiteral("b.txt"));
    put(other, "third");
    QFile replacing(other);
    ASSERT_TRUE(replacing.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        replacing.setFileTime(QFileInfo(path).lastModified(), QFileDevice::FileModificationTime));
    replacing.close();
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(other, path));
    EXPECT_EQ(cache.get(path, read), "third");
    EXPECT_EQ(made, 3);
}

// A file changed within the settling time is read every time: its times
// cannot yet tell a second write of the same length from the first.
TEST(FileCache, ReadsAFileJustWrittenEveryTime)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    put(path, "first");
    FileCache<QByteArray> cache(8);
    int made = 0;
    const auto count = [&made](const QString&) { return QByteArray::number(++made); };
    cache.get(path, count);
    cache.get(path, count);
    EXPECT_EQ(made, 2);
    EXPECT_EQ(cache.get(dir.filePath(QStringLiteral("none")), count), "3");
}
