#include "series/SeriesFiles.h"

#include "files/FileLookup.h"
#include "files/SafeWrite.h"
#include "files/TextFile.h"
#include "series/Catalog.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include <cstdio>
#include <sys/stat.h>

namespace SeriesFiles
{

QString lockPath(const QString& dir)
{
    return QDir(dir).filePath(QStringLiteral(".velmorant-series.lock"));
}

QString historyFolder()
{
    return QStringLiteral("履歴");
}

QString removedFolder()
{
    return QStringLiteral("削除済み");
}

namespace
{

const QString NameRule = QStringLiteral("ファイル名は半角の英字・数字・「-」「_」で60文字まで、"
                                        "最後に「.TXT」を付けてください（例: Bio5.TXT）");

// Names Windows keeps for its devices: a file of such a name cannot be made
// or copied on the desktops that read the folder.
QString deviceName(const QString& stem)
{
    static const QRegularExpression device(QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(stem).hasMatch()
               ? QStringLiteral("「%1」はWindowsで使えない名前です。ほかの名前にしてください")
                     .arg(stem)
               : QString();
}

} // namespace

QString badListedName(const QString& name)
{
    static const QRegularExpression allowed(QStringLiteral("^([^./\\\\:*?\"<>|]{1,100})\\.txt$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = allowed.match(name);
    const bool control = std::any_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
    });
    if (!m.hasMatch() || control) {
        return NameRule;
    }
    return deviceName(m.captured(1));
}

QString badName(const QString& name)
{
    static const QRegularExpression allowed(QStringLiteral("^([A-Za-z0-9_-]{1,60})\\.txt$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = allowed.match(name);
    if (!m.hasMatch()) {
        return NameRule;
    }
    if (const QString device = deviceName(m.captured(1)); !device.isEmpty()) {
        return device;
    }
    if (name.compare(QLatin1String(Catalog::FileName), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("「%1」は問題集の一覧のファイルです。ほかの名前にしてください")
            .arg(name);
    }
    return {};
}

QString versionOf(const QByteArray& bytes)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(32));
}

Form formOf(const QByteArray& bytes)
{
    Form form;
    const TextEncoding::Detected detected = TextEncoding::detect(bytes);
    form.encoding = detected.encoding;
    form.bom = detected.bomLength > 0;
    const qsizetype lf = bytes.indexOf('\n');
    const qsizetype cr = bytes.indexOf('\r');
    if (lf >= 0 && (lf == 0 || bytes.at(lf - 1) != '\r')) {
        form.lineEnd = "\n";
    } else if (cr >= 0 && lf < 0) {
        form.lineEnd = "\r";
    }
    return form;
}

QString encodingName(TextEncoding::Encoding encoding)
{
    return encoding == TextEncoding::Encoding::Utf8 ? QStringLiteral("UTF-8")
                                                    : QStringLiteral("CP932");
}

bool encode(const QString& text, const Form& form, QByteArray* out, QString* why, int* badLine)
{
    static const QRegularExpression lineEnds(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = text.split(lineEnds);
    out->clear();
    if (form.bom) {
        out->append("\xEF\xBB\xBF");
    }
    for (qsizetype n = 0; n < lines.size(); ++n) {
        if (n > 0) {
            out->append(form.lineEnd);
        }
        if (form.encoding == TextEncoding::Encoding::Utf8) {
            out->append(lines.at(n).toUtf8());
            continue;
        }
        QByteArray line;
        if (!TextFile::encodeText(lines.at(n), &line)) {
            *why = QStringLiteral("%1行目の「%2」はシフトJIS（コードページ932）のファイルに"
                                  "書けない文字です。ほかの文字にしてください")
                       .arg(QString::number(n + 1), TextFile::firstUnencodable(lines.at(n)));
            if (badLine != nullptr) {
                *badLine = static_cast<int>(n + 1);
            }
            return false;
        }
        out->append(line);
    }
    return true;
}

Bytes read(const QString& dir, const QString& name)
{
    Bytes out;
    out.path = FileLookup::resolve(dir, name);
    // A link that leads out of the folder is not the folder's file.
    const QString real = QFileInfo(out.path).canonicalFilePath();
    if (!real.isEmpty() && QFileInfo(real).absolutePath() != QDir(dir).canonicalPath()) {
        out.error = QStringLiteral("「%1」はこのフォルダーの外を指しています").arg(name);
        return out;
    }
    QFile file(out.path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("「%1」を読めません（%2）").arg(name, file.errorString());
        return out;
    }
    out.bytes = file.readAll();
    return out;
}

namespace
{

// Keeps the bytes a file had before a save, and lets only the newest
// versions of that file stay.
QString keepInHistory(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    QDir history(info.absolutePath());
    if (!history.mkpath(historyFolder()) || !history.cd(historyFolder())) {
        return QStringLiteral("「%1」のフォルダーを作れません").arg(historyFolder());
    }
    const QString stem = info.completeBaseName() + QLatin1Char('@');
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString kept = history.filePath(stem + stamp + QLatin1Char('.') + info.suffix());
    for (int n = 2; QFileInfo::exists(kept); ++n) {
        kept = history.filePath(stem + stamp + QLatin1Char('-') + QString::number(n) +
                                QLatin1Char('.') + info.suffix());
    }
    const QString failed = WriteFileAtomically(kept, bytes);
    if (!failed.isEmpty()) {
        return failed;
    }
    // The time in each name sorts the versions.
    QStringList all = history.entryList({stem + QLatin1Char('*')}, QDir::Files, QDir::Name);
    while (all.size() > HistoryKept) {
        QFile::remove(history.filePath(all.takeFirst()));
    }
    return {};
}

} // namespace

Saved save(const QString& dir, const QString& name, const QString& text, const QString& version)
{
    Saved out;
    const Bytes now = read(dir, name);
    if (!now.error.isEmpty()) {
        return {500, now.error, {}, {}};
    }
    out.version = versionOf(now.bytes);
    if (version != out.version) {
        out.status = 409;
        out.error = QStringLiteral("ほかの人がこの問題集を先に保存しました。"
                                   "今のファイルと見比べてから、もう一度保存してください");
        out.bytes = now.bytes;
        return out;
    }
    QByteArray bytes;
    if (!encode(text, formOf(now.bytes), &bytes, &out.error, &out.line)) {
        out.status = 400;
        return out;
    }
    if (bytes.size() > MaxFileBytes) {
        return {413,
                QStringLiteral("問題集が大きすぎます（%1KBまで）").arg(MaxFileBytes / 1024),
                {},
                {}};
    }
    if (bytes == now.bytes) {
        return out;
    }
    QString failed = keepInHistory(now.path, now.bytes);
    struct stat info {
    };
    const bool known = ::stat(QFile::encodeName(now.path).constData(), &info) == 0;
    if (failed.isEmpty()) {
        failed = WriteFileAtomically(now.path, bytes, known ? &info : nullptr);
    }
    if (!failed.isEmpty()) {
        return {500, QStringLiteral("「%1」を保存できません（%2）").arg(name, failed), {}, {}};
    }
    out.version = versionOf(bytes);
    return out;
}

Saved replace(const QString& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = FileLookup::resolve(dir, name);
    QString failed;
    // The new file keeps the old one's owner and mode.
    struct stat info {
    };
    const bool known = ::stat(QFile::encodeName(path).constData(), &info) == 0;
    if (known) {
        const Bytes now = read(dir, name);
        failed = now.error.isEmpty() ? keepInHistory(now.path, now.bytes) : now.error;
    }
    failed = failed.isEmpty() ? WriteFileAtomically(path, bytes, known ? &info : nullptr) : failed;
    if (!failed.isEmpty()) {
        return {500, QStringLiteral("「%1」を置き換えられません（%2）").arg(name, failed), {}, {}};
    }
    return {200, {}, versionOf(bytes), {}};
}

Saved create(const QString& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = FileLookup::resolve(dir, name);
    if (QFileInfo::exists(path)) {
        return {409,
                QStringLiteral("「%1」という名前のファイルがもうあります。ほかの名前にしてください")
                    .arg(QFileInfo(path).fileName()),
                {},
                {}};
    }
    const QString failed = WriteFileAtomically(path, bytes);
    if (!failed.isEmpty()) {
        return {500, QStringLiteral("「%1」を作れません（%2）").arg(name, failed), {}, {}};
    }
    return {200, {}, versionOf(bytes), {}};
}

QString putAside(const QString& dir, const QString& name)
{
    const QString path = FileLookup::resolve(dir, name);
    if (!QFileInfo::exists(path)) {
        return {}; // listed without a file: nothing to keep
    }
    QDir removed(dir);
    if (!removed.mkpath(removedFolder()) || !removed.cd(removedFolder())) {
        return QStringLiteral("「%1」のフォルダーを作れません").arg(removedFolder());
    }
    const QFileInfo info(path);
    QString target = removed.filePath(info.fileName());
    if (QFileInfo::exists(target)) {
        target = removed.filePath(
            info.completeBaseName() + QLatin1Char('@') +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) +
            QLatin1Char('.') + info.suffix());
    }
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0) {
        return QStringLiteral("「%1」を「%2」へ移せません").arg(name, removedFolder());
    }
    SyncFolderOf(path);
    SyncFolderOf(target);
    return {};
}

} // namespace SeriesFiles
