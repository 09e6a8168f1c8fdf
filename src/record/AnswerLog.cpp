#include "record/AnswerLog.h"

#include "files/FileInPlace.h"
#include "files/FileLookup.h"
#include "files/SafeWrite.h"
#include "files/WriteLock.h"
#include "record/FastStatementReader.h"
#include "record/Statements.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <utility>

namespace
{

// Room for ".jsonl.damaged" within the 255 bytes a file name may have.
constexpr qsizetype MaxNameBytes = 200;

QString recordsFolder(const QString& folder)
{
    return FileLookup::resolve(folder, QString::fromLatin1(AnswerLog::FolderName));
}

bool unsafeInName(char32_t c, bool first, bool last)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || c == '/' || c == '\\' || c == ':' || c == '*' ||
           c == '?' || c == '"' || c == '<' || c == '>' || c == '|' || c == '%' ||
           (first && c == '.') || (last && (c == '.' || c == ' '));
}

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("解答の記録「%1」に書き込めませんでした。\n理由: %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

// Makes records/ when it is missing, with the work folder's group and mode,
// so that in a class's folder every learner can add a log of their own.
QString makeFolder(const QString& folder, const QString& records)
{
    if (QFileInfo(records).isDir()) {
        return {};
    }
    const QByteArray name = QFile::encodeName(records);
    if (::mkdir(name.constData(), 0777) != 0) {
        return errno == EEXIST
                   ? QString()
                   : QStringLiteral("記録のフォルダー「%1」を作れません（%2）")
                         .arg(QString::fromLatin1(AnswerLog::FolderName), reasonOfError(errno));
    }
    struct stat like {
    };
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && ::stat(QFile::encodeName(folder).constData(), &like) == 0) {
        // As far as this user may give them; the log is written either way.
        (void)TakeAccessOf(fd, like);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    SyncFolderOf(records);
    return {};
}

// The log held for one append: the file itself locked. Unlike the marks
// file it is never replaced, only appended to and cut back, so its own lock
// keeps every writer apart and a lock file beside it would only add a second
// sync to each answer. Where the folder cannot be written but the log can (a
// class's shared folder), nothing can be made beside it.
class LogAccess
{
public:
    explicit LogAccess(const QString& path)
        : inPlace_(::access(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), W_OK) !=
                   0)
    {
        file_.emplace(path, FileInPlace::Mode::ReadWrite, WriteLock::WaitMs, !inPlace_);
        if (!file_->held()) {
            reason_ = file_->reason();
        } else if (file_->created()) {
            SyncFolderOf(path);
        }
    }

    bool ok() const { return reason_.isEmpty(); }
    // Nothing can be made beside the log.
    bool inPlace() const { return inPlace_; }
    const QString& reason() const { return reason_; }
    FileInPlace& file() { return *file_; }

private:
    bool inPlace_;
    std::optional<FileInPlace> file_;
    QString reason_;
};

// Where the last whole line of the first `size` bytes ends; -1 on failure.
qint64 lastLineEnd(FileInPlace& file, qint64 size)
{
    for (qint64 window = 65536;; window *= 4) {
        const qint64 start = std::max<qint64>(0, size - window);
        QByteArray tail;
        if (!file.readFrom(start, &tail)) {
            return -1;
        }
        const qsizetype at = tail.left(size - start).lastIndexOf('\n');
        if (at >= 0 || start == 0) {
            return start + at + 1;
        }
    }
}

// A last line without its line end was cut short by a kill: it is moved to
// the side file, so that the new line does not run into it, and the log is
// cut back to its last whole line. Where no side file can be made, the cut
// line is ended instead and stays, told as a line that is no statement.
// *size becomes the log's size before the new line.
QString setAsideCutLine(LogAccess& access, const QString& damagedPath, qint64* size,
                        QByteArray* bytes)
{
    FileInPlace& file = access.file();
    QByteArray lastByte;
    if (*size == 0) {
        return {};
    }
    if (!file.readFrom(*size - 1, &lastByte)) {
        return file.reason();
    }
    if (lastByte.endsWith('\n')) {
        return {};
    }
    if (access.inPlace()) {
        bytes->prepend('\n');
        return {};
    }
    const qint64 end = lastLineEnd(file, *size);
    QByteArray cut;
    if (end < 0 || !file.readFrom(end, &cut)) {
        return file.reason();
    }
    FileInPlace aside(damagedPath, FileInPlace::Mode::ReadWrite, WriteLock::WaitMs, true);
    QString reason = aside.held() ? aside.append({cut + '\n'}) : aside.reason();
    if (aside.created()) {
        SyncFolderOf(damagedPath);
    }
    if (!reason.isEmpty()) {
        return QStringLiteral("途中で切れた最後の行を「%1」に移せません（%2）")
            .arg(QFileInfo(damagedPath).fileName(), reason);
    }
    reason = file.truncate(end);
    *size = end;
    return reason;
}

} // namespace

AnswerLog::AnswerLog(QString folder, QString learner)
    : folder_(std::move(folder)), learner_(std::move(learner))
{
}

QString AnswerLog::fileNameOf(const QString& learner)
{
    const QList<uint> chars = learner.toUcs4();
    QString name;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        const auto c = static_cast<char32_t>(chars.at(i));
        const QString one = QString::fromUcs4(&c, 1);
        if (!unsafeInName(c, i == 0, i == chars.size() - 1)) {
            name += one;
            continue;
        }
        for (const char byte : one.toUtf8()) {
            name += QStringLiteral("%%1")
                        .arg(static_cast<uchar>(byte), 2, 16, QLatin1Char('0'))
                        .toUpper();
        }
    }
    if (name.toUtf8().size() > MaxNameBytes) {
        // Kept apart from every other long name by the hash of the whole.
        while (name.toUtf8().size() > MaxNameBytes - 17) {
            name.chop(name.back().isLowSurrogate() ? 2 : 1);
        }
        name += QLatin1Char('~') +
                QString::fromLatin1(
                    QCryptographicHash::hash(learner.toUtf8(), QCryptographicHash::Sha256)
                        .toHex()
                        .left(16));
    }
    return (name.isEmpty() ? QStringLiteral("%00") : name) + QLatin1String(".jsonl");
}

QString AnswerLog::path() const
{
    return QDir(recordsFolder(folder_)).filePath(fileNameOf(learner_));
}

LogRead AnswerLog::read(qint64 from) const
{
    return AnswerLogs::readFile(path(), from);
}

QString AnswerLog::append(const Answer& answer)
{
    QByteArray bytes;
    if (answer.id.isNull()) {
        Answer named = answer;
        named.id = QUuid::createUuid();
        bytes = Statements::line(named);
    } else {
        bytes = Statements::line(answer);
    }
    bytes += '\n';
    const QString file = path();
    QString reason = makeFolder(folder_, recordsFolder(folder_));
    if (!reason.isEmpty()) {
        return failure(file, reason);
    }
    LogAccess access(file);
    if (!access.ok()) {
        return failure(file, access.reason());
    }
    qint64 size = access.file().size();
    reason = size < 0 ? access.file().reason()
                      : setAsideCutLine(access, file + QLatin1String(".damaged"), &size, &bytes);
    if (!reason.isEmpty()) {
        return failure(file, reason);
    }
    reason = access.file().append({bytes});
    if (!reason.isEmpty()) {
        // Nothing of a line that did not go out whole stays behind.
        (void)access.file().truncate(size);
        return failure(file, reason);
    }
    return {};
}

namespace
{

// The 1-based number of the line that starts at byte `from`.
int lineAt(const QString& path, qint64 from)
{
    if (from == 0) {
        return 1;
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.read(from).count('\n')) + 1 : 0;
}

// Reads every whole line of bytes (the log from byte `from`, which starts a
// line); returns how many bytes those lines took.
qsizetype readLines(const QString& path, QByteArrayView bytes, qint64 from,
                    FastStatementReader& reader, LogRead* out)
{
    const char* const data = bytes.data();
    const qsizetype size = bytes.size();
    int firstLine = -1; // counted only for a finding
    int lineIndex = 0;
    qsizetype at = 0;
    while (const void* found = std::memchr(data + at, '\n', static_cast<size_t>(size - at))) {
        const qsizetype end = static_cast<const char*>(found) - data;
        QByteArrayView text(data + at, end - at);
        if (text.endsWith('\r')) {
            text.chop(1);
        }
        if (from == 0 && at == 0 && text.startsWith("\xEF\xBB\xBF")) {
            text = text.sliced(3); // a byte order mark an editor added
        }
        if (!text.trimmed().isEmpty()) {
            QString why;
            std::optional<Answer> answer = reader.parse(text, &why, data + size - text.data());
            if (answer) {
                out->answers.append(std::move(*answer));
            } else {
                firstLine = firstLine < 0 ? lineAt(path, from) : firstLine;
                out->findings.append(
                    {path, firstLine + lineIndex,
                     QStringLiteral("解答の記録として読めないため、飛ばしました。%1").arg(why)});
            }
        }
        ++lineIndex;
        at = end + 1;
    }
    return at;
}

} // namespace

namespace AnswerLogs
{

QStringList files(const QString& folder)
{
    const QDir records(recordsFolder(folder));
    QStringList out;
    for (const QString& name :
         records.entryList({QStringLiteral("*.jsonl")}, QDir::Files, QDir::Name)) {
        out.append(records.filePath(name));
    }
    return out;
}

LogRead readFile(const QString& path, qint64 from)
{
    LogRead out;
    out.end = from;
    const auto unreadable = [&](const QString& reason) {
        out.findings.append(
            {path, 0, QStringLiteral("解答の記録を読み込めません。\n理由: %1").arg(reason)});
        return out;
    };
    // Shared with other readers; a writer's line is read whole or not at all.
    FileInPlace file(path, FileInPlace::Mode::Shared, WriteLock::WaitMs);
    if (!file.held()) {
        return file.missing() ? out : unreadable(file.reason());
    }
    const qint64 size = file.size();
    if (size >= 0 && size < from) {
        return unreadable(QStringLiteral("前に読んだところより短くなっています"
                                         "（ほかで書き換えられたようです）"));
    }
    if (size < 0) {
        return unreadable(file.reason());
    }
    // A window of the log at a time, the line cut at its end carried into
    // the next: a year's log is never held whole, and one window's memory
    // serves them all.
    constexpr qint64 Window = 1 << 20;
    FastStatementReader reader;
    QByteArray bytes; // read from `out.end` on, not taken yet
    while (true) {
        const qsizetype carried = bytes.size();
        if (!file.readSome(out.end + carried, Window, &bytes)) {
            out = {{}, {}, from};
            return unreadable(file.reason());
        }
        if (bytes.size() == carried) {
            return out;
        }
        const qsizetype taken = readLines(path, bytes, out.end, reader, &out);
        bytes.remove(0, taken);
        out.end += taken;
    }
}

} // namespace AnswerLogs
