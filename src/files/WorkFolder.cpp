#include "files/WorkFolder.h"

#include "files/FileLookup.h"
#include "files/SafeWrite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace WorkFolder
{

namespace
{

const QString CatalogName = QStringLiteral("ZQCList.TXT");

// Any letter case: a folder made on Windows may hold ZQCLIST.TXT.
bool holdsCatalog(const QString& folder)
{
    return QFileInfo(FileLookup::resolve(folder, CatalogName)).isFile();
}

// Whether two paths name the same folder, links resolved.
bool sameFolder(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

QString notUsable(const QString& folder, const QString& reason)
{
    return QStringLiteral("作業用のフォルダ「%1」を使えません。\n%2")
        .arg(QDir::toNativeSeparators(folder), reason);
}

// Makes the folder if needed and fills it when it has no catalogue yet.
Choice useFolder(const QString& folder, const Places& places)
{
    if (sameFolder(folder, places.samples)) {
        return {{},
                notUsable(folder, QStringLiteral("これはインストールされた見本のフォルダです。"
                                                 "別のフォルダを指定して下さい。"))};
    }
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        return {{}, notUsable(folder, QStringLiteral("同じ名前のファイルがあります。"))};
    }
    if (!holdsCatalog(folder)) {
        if (!QDir().mkpath(folder)) {
            return {{}, notUsable(folder, QStringLiteral("フォルダを作れません。"))};
        }
        const QString reason = fillFromSamples(folder, places.samples);
        if (!reason.isEmpty()) {
            return {{}, notUsable(folder, reason)};
        }
    }
    return {QDir::cleanPath(info.absoluteFilePath()), {}};
}

} // namespace

Places Places::ofThisProcess()
{
    return {QDir::currentPath(), samplesBeside(QCoreApplication::applicationDirPath()),
            qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath()};
}

QString samplesBeside(const QString& programDir)
{
    // A folder of their own below share/velmorant: with the prefix ~/.local,
    // share/velmorant itself is the user's folder, which an install must
    // never write into.
    const QDir dir(programDir);
    const QString samples = QStringLiteral("share/velmorant/samples");
    const QString installed = QDir::cleanPath(dir.filePath(QStringLiteral("../") + samples));
    if (QFileInfo(installed).isDir()) {
        return installed;
    }
    // The build folder's copy; when neither is there (or the installed one
    // cannot be seen), the installed place is the one to name.
    const QString beside = QDir::cleanPath(dir.filePath(samples));
    return QFileInfo(beside).isDir() ? beside : installed;
}

QString userFolder(const Places& places)
{
    // A relative XDG_DATA_HOME is invalid and is ignored, as for an unset one.
    const QString base = !places.dataHome.isEmpty() && QDir::isAbsolutePath(places.dataHome)
                             ? places.dataHome
                             : QDir(places.home).filePath(QStringLiteral(".local/share"));
    return QDir::cleanPath(QDir(base).filePath(QStringLiteral("velmorant")));
}

Choice prepare(const QStringList& arguments, const Places& places, Named named)
{
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments.front().startsWith(u'-'))) {
        return {{},
                QStringLiteral("使い方: velmorant [フォルダ]\n"
                               "フォルダを一つ指定すると、そのフォルダのファイルを使います。")};
    }
    if (arguments.size() == 1) {
        if (arguments.front().isEmpty()) {
            return {{}, QStringLiteral("フォルダの名前が空です。")};
        }
        const QString folder =
            QDir::cleanPath(QDir(places.current).absoluteFilePath(arguments.front()));
        const QFileInfo info(folder);
        if (named == Named::Refuse && (!info.exists() || (info.isDir() && !holdsCatalog(folder)))) {
            return {
                {},
                notUsable(folder, info.exists()
                                      ? QStringLiteral("問題集の一覧 ZQCList.TXT がありません。")
                                      : QStringLiteral("そのようなフォルダはありません。")),
                true};
        }
        return useFolder(folder, places);
    }
    if (holdsCatalog(places.current) && !sameFolder(places.current, places.samples)) {
        return {QDir::cleanPath(places.current), {}};
    }
    return useFolder(userFolder(places), places);
}

QString fillFromSamples(const QString& folder, const QString& samples)
{
    if (!holdsCatalog(samples)) {
        return QStringLiteral("見本のファイルが「%1」にありません。")
            .arg(QDir::toNativeSeparators(samples));
    }
    QStringList names = QDir(samples).entryList(QDir::Files, QDir::Name);
    names.removeAll(CatalogName);
    names.append(CatalogName);
    for (const QString& name : names) {
        // A file already there in another letter case (MARKED.TXT) is the
        // same file to the program: a sample beside it would hide it.
        const QString to = FileLookup::resolve(folder, name);
        if (QFileInfo::exists(to) || QFileInfo(to).isSymLink()) {
            continue;
        }
        QFile from(QDir(samples).filePath(name));
        if (!from.open(QIODevice::ReadOnly)) {
            return QStringLiteral("見本のファイル「%1」を読めません: %2")
                .arg(name, from.errorString());
        }
        const QByteArray bytes = from.readAll();
        if (from.error() != QFileDevice::NoError) {
            return QStringLiteral("見本のファイル「%1」を読めません: %2")
                .arg(name, from.errorString());
        }
        const QString reason = WriteFileAtomically(to, bytes);
        if (!reason.isEmpty()) {
            return QStringLiteral("ファイル「%1」を書き込めません: %2").arg(name, reason);
        }
    }
    return {};
}

} // namespace WorkFolder
