// Every seed of the fuzz targets and every input the fuzzers ever saved,
// run once through the same bodies as under libFuzzer, so the ordinary
// build keeps them fixed without clang.

#include "FuzzBodies.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace
{

using Body = std::function<void(const QByteArray&, const QString&)>;

// The files of the given folders (relative to the source tree) whose names
// match, README files aside.
QStringList inputs(const QStringList& folders, const QString& pattern = QStringLiteral("*"))
{
    QStringList out;
    for (const QString& folder : folders) {
        const QDir dir(TestFiles::sourceDir() + QLatin1Char('/') + folder);
        for (const QFileInfo& f : dir.entryInfoList({pattern}, QDir::Files, QDir::Name)) {
            if (!f.fileName().startsWith(QLatin1String("README"))) {
                out.append(f.filePath());
            }
        }
    }
    return out;
}

void replay(const QString& target, const QStringList& extra, const Body& body,
            const std::function<void(const QString&)>& prepare = {})
{
    const QStringList files = inputs({QStringLiteral("fuzzing/seeds/") + target,
                                      QStringLiteral("tests/fuzz-found/") + target}) +
                              extra;
    ASSERT_FALSE(files.isEmpty()) << "no inputs for " << target.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    if (prepare) {
        prepare(dir.path());
    }
    FuzzBodies::throwOnFailure = true;
    for (const QString& file : files) {
        try {
            body(TestFiles::readAll(file), dir.path());
        } catch (const FuzzBodies::CheckFailed& e) {
            ADD_FAILURE() << file.toStdString() << ": " << e.what();
        }
    }
}

} // namespace

TEST(FuzzInputs, Catalog)
{
    replay(QStringLiteral("catalog"),
           inputs({QStringLiteral("data")}, QStringLiteral("ZQCList.TXT")), FuzzBodies::catalog);
}

TEST(FuzzInputs, Series)
{
    replay(QStringLiteral("series"), inputs({QStringLiteral("data")}, QStringLiteral("Bio*.TXT")),
           FuzzBodies::series, FuzzBodies::prepareSeriesDir);
}

TEST(FuzzInputs, Marks)
{
    replay(QStringLiteral("marks"), inputs({QStringLiteral("data")}, QStringLiteral("Marked.txt")),
           FuzzBodies::marks);
}

TEST(FuzzInputs, Board)
{
    replay(QStringLiteral("board"), inputs({QStringLiteral("data")}, QStringLiteral("Bio*.TXT")),
           FuzzBodies::board);
}
