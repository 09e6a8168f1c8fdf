#include "marks/MarksFile.h"

#include "marks/MarksLayout.h"

#include "files/FileInPlace.h"
#include "files/FileLookup.h"
#include "files/SafeWrite.h"
#include "files/TextFile.h"
#include "files/WorkFolder.h"
#include "files/WriteLock.h"
#include "series/SeriesParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace MarksFile
{

QStringList placeholderRecord()
{
    return {QStringLiteral("問題０　マークした問題の記録（この最初の記録は表示されません）"),
            QString(), QString(), QString(), QString()};
}

QStringList rowRecord(const SeriesState& st, int row)
{
    return Problems::record(st.problems.at(static_cast<std::size_t>(row)));
}

} // namespace MarksFile

namespace
{

constexpr int LockWaitMs = WriteLock::WaitMs;

QString fileName()
{
    return QString::fromLatin1(MarksFile::FileName);
}

using namespace MarksLayout;

// The marks file as found at the start of a change, not yet decoded.
struct Found {
    enum class Status { Ok, Missing, Unreadable };
    Status status = Status::Ok;
    QByteArray bytes;
    QString error;
};

Found readBytes(const QString& path)
{
    Found out;
    QFile file(path);
    if (!file.exists()) {
        out.status = Found::Status::Missing;
        return out;
    }
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        out.status = Found::Status::Unreadable;
        out.error = QFileInfo(path).isDir() ? QStringLiteral("フォルダーです") : file.errorString();
        return out;
    }
    out.bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        out.status = Found::Status::Unreadable;
        out.error = file.errorString();
    }
    return out;
}

// Where a complete copy of the marks file goes before it is rewritten in
// place: the user's own folder, never the shared one.
QString backupPath()
{
    const WorkFolder::Places places{
        {}, {}, qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath()};
    return QDir(WorkFolder::userFolder(places)).filePath(QStringLiteral("Marked.txt.backup"));
}

// The marks file held for one change. Where the folder can be written, the
// lock file beside it is held and the file is replaced whole, its group and
// mode kept. Where only the file can be written (a class's shared folder), or
// a new file could not be given the old one's group, it is changed in place.
// Either way the file itself is locked as well, so that the two kinds of
// writers never overlap.
class Access
{
public:
    explicit Access(const QString& folder, const QString& file) : file_(file)
    {
        struct stat info {
        };
        const bool exists = ::stat(QFile::encodeName(file).constData(), &info) == 0;
        inPlace_ = exists && !canTakeGroupOf(info);
        if (!inPlace_) {
            lock_.emplace(FileLookup::resolve(folder, QString::fromLatin1(MarksFile::LockFileName)),
                          LockWaitMs);
            if (!lock_->held()) {
                if (!lock_->permissionDenied() || !exists ||
                    ::access(QFile::encodeName(file).constData(), W_OK) != 0) {
                    reason_ = lock_->reason();
                    return;
                }
                inPlace_ = true;
            }
        }
        if (exists) {
            handle_.emplace(file, inPlace_ ? FileInPlace::Mode::ReadWrite : FileInPlace::Mode::Read,
                            LockWaitMs);
            if (!handle_->held() && !handle_->missing()) {
                reason_ = handle_->reason();
                return;
            }
        }
        ok_ = true;
    }

    bool ok() const { return ok_; }
    bool inPlace() const { return inPlace_; }
    const QString& reason() const { return reason_; }

    Found read()
    {
        if (!handle_ || !handle_->held()) {
            return readBytes(file_);
        }
        Found out;
        if (!handle_->readAll(&out.bytes)) {
            out.status = Found::Status::Unreadable;
            out.error = handle_->reason();
        }
        return out;
    }
    QString append(const QList<QByteArray>& pieces) { return handle_->append(pieces); }
    // The file's content becomes bytes; `old` is what it held.
    QString replace(const QByteArray& bytes, const QByteArray& old)
    {
        if (!inPlace_) {
            const bool held = handle_ && handle_->held();
            return WriteFileAtomically(file_, bytes, held ? &handle_->info() : nullptr);
        }
        const QString copy = backupPath();
        if (!QDir().mkpath(QFileInfo(copy).absolutePath()) ||
            !WriteFileAtomically(copy, old).isEmpty()) {
            return QStringLiteral("フォルダーに書き込む権限がなく、書き直す前の控えも「%1」に"
                                  "作れませんでした")
                .arg(QDir::toNativeSeparators(copy));
        }
        return handle_->rewrite(bytes);
    }

private:
    QString file_;
    std::optional<WriteLock> lock_;
    std::optional<FileInPlace> handle_;
    bool inPlace_ = false;
    bool ok_ = false;
    QString reason_;
};

QString appendFailure(const QString& reason)
{
    return QStringLiteral("マークの記録ファイル「%1」に書き込めませんでした。\n理由: %2")
        .arg(fileName(), reason);
}

QString rewriteFailure(const QString& reason)
{
    return QStringLiteral("マークの記録ファイル「%1」を書き直せませんでした。\n理由: %2\n\n"
                          "ファイルは前のまま残っています。")
        .arg(fileName(), reason);
}

QString damagedNotKept()
{
    return QStringLiteral("マークの記録ファイルの壊れた部分を「%1」に残せませんでした")
        .arg(QString::fromLatin1(MarksFile::DamagedFileName));
}

// Moves a damaged end out of the way of new records, keeping its bytes.
bool keepDamaged(const QString& folder, const QByteArray& damaged)
{
    if (damaged.isEmpty()) {
        return true;
    }
    const QString path =
        FileLookup::resolve(folder, QString::fromLatin1(MarksFile::DamagedFileName));
    QByteArray all;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            return false;
        }
        all = old.readAll();
        old.close();
    }
    all += damaged;
    return WriteFileAtomically(path, all).isEmpty();
}

} // namespace

MarksStore::MarksStore(QString folder) : folder_(std::move(folder)) {}

QString MarksStore::path() const
{
    return FileLookup::resolve(folder_, fileName());
}

void MarksStore::clear()
{
    tail_ = {};
    pending_.clear();
    held_.clear();
    readRecords_.clear();
    knownWhole_.clear();
}

int MarksStore::read(SeriesState& st, const QString& name, QList<MarksFinding>* findings)
{
    tail_ = {};
    readRecords_.clear();
    knownWhole_.clear();
    const TextFile::ReadResult file = TextFile::readLenient(FileLookup::resolve(folder_, name));
    if (file.status == TextFile::ReadResult::Status::Missing) {
        return -1;
    }
    if (file.status == TextFile::ReadResult::Status::Unreadable) {
        findings->append(
            {0, QStringLiteral("マークの記録ファイル「%1」を読み込めません。\n理由: %2")
                    .arg(fileName(), file.error)});
        return -1;
    }
    const Layout layout = cut(file);
    const int loaded =
        static_cast<int>(std::min<qsizetype>(layout.records.size(), SeriesState::SeriesRows));
    for (int k = 0; k < loaded; ++k) {
        st.problems.at(static_cast<std::size_t>(k)) =
            Problems::fromRecord(layout.records.at(k), layout.recordLines.at(k));
        st.marked.at(static_cast<std::size_t>(k)) = true;
    }
    for (qsizetype r = loaded; r < layout.records.size(); ++r) {
        tail_.laterRecords += layout.recordBytes.at(r);
    }
    tail_.damaged = layout.damaged;
    for (const LeftOut& l : layout.leftOut) {
        tail_.leftOut += l.bytes;
    }
    readRecords_ = layout.records;
    if (!layout.utf8 && layout.leftOut.isEmpty() && layout.kept == file.bytes &&
        file.badLines.isEmpty()) {
        knownWhole_ = file.bytes;
    }
    *findings += readFindings(layout, QFileInfo(FileLookup::resolve(folder_, name)).fileName());
    return loaded - 1;
}

MarksWrite MarksStore::append(const QStringList& record)
{
    const QString bad = unencodableIn(record);
    if (!bad.isEmpty()) {
        // It can never be written as it is: held, told once, and never in
        // the way of the marks that can.
        MarksWrite out = savePending();
        if (!held_.contains(record)) {
            held_.append(record);
            out.findings.prepend({0, unencodableMessage(bad)});
            out.written = false;
        }
        return out;
    }
    pending_.append(record);
    return writePending();
}

MarksWrite MarksFile::appendMark(MarksPort& marks, SeriesState& st, int problem)
{
    st.markPending = false;
    if (problem < 0 || problem >= SeriesState::SeriesRows) {
        return marks.savePending();
    }
    return marks.append(rowRecord(st, problem));
}

MarksWrite MarksStore::savePending()
{
    if (pending_.isEmpty()) {
        return {};
    }
    return writePending();
}

namespace
{

// What an append keeps of the file as it found it.
struct Kept {
    QByteArray bytes; // in code page 932, its last line ended
    QByteArray damaged;
    MarksFinding told; // about the damaged end
    bool hasRecords = false;
    bool utf8 = false;
    QString unencodable;
};

// False when the file is UTF-8 and holds what code page 932 cannot.
bool keptOf(const QByteArray& found, const QByteArray& knownWhole, Kept* out)
{
    // Most often the file is what this copy last wrote, perhaps with
    // records another copy appended since: only those need a look.
    const bool knownStart =
        !knownWhole.isEmpty() && knownWhole.endsWith('\n') && found.startsWith(knownWhole);
    if (knownStart && wholeRecordsFrom(found, knownWhole.size())) {
        out->bytes = found;
        out->hasRecords = true;
        return true;
    }
    const Layout layout = cut(TextFile::decodeLenient(found));
    out->unencodable = layout.unencodable;
    out->bytes = layout.kept;
    out->damaged = layout.damaged;
    out->hasRecords = !layout.records.isEmpty();
    out->utf8 = layout.utf8;
    if (!layout.damaged.isEmpty()) {
        out->told = {layout.damagedLine, damagedMessage(layout)};
    }
    return layout.unencodable.isEmpty();
}

// What others wrote since the file was read, added to bytes. Records
// appended after what this copy read go back unchanged after the table's
// rows; -1 is returned. If the file changed in any other way, every record
// this copy does not hold is kept as well, so that no one's mark is lost
// (a mark removed elsewhere may then come back, the lesser harm), and the
// number of those records is returned.
qsizetype keepOthers(const QList<QStringList>& readRecords, const Layout& now, QByteArray* bytes)
{
    const qsizetype readCount = readRecords.size();
    if (now.records.size() >= readCount && now.records.mid(0, readCount) == readRecords) {
        *bytes += joined(now.recordBytes.mid(readCount));
        return -1;
    }
    qsizetype others = 0;
    QList<QStringList> unmatched = readRecords;
    // The first record is the file's placeholder, never a mark.
    for (qsizetype r = 1; r < now.records.size(); ++r) {
        const qsizetype at = unmatched.indexOf(now.records.at(r));
        if (at >= 0) {
            unmatched.removeAt(at);
        } else {
            *bytes += now.recordBytes.at(r);
            ++others;
        }
    }
    return others;
}

QString unencodableInFile(const QString& bad)
{
    return QStringLiteral("マークの記録ファイル「%1」は UTF-8 で保存されていて、シフトJISで"
                          "書けない文字「%2」を含む記録があるため、シフトJISで書き直せません。"
                          "ファイルは前のまま残っています。")
        .arg(fileName(), bad);
}

} // namespace

namespace
{

// The records to add, each one piece: a placeholder first when the file has
// no record yet, so that the first marked problem is not taken for it.
bool recordsToAdd(const QList<QStringList>& pending, bool hasRecords, QList<QByteArray>* added,
                  QChar* bad)
{
    if (!hasRecords) {
        added->append(QByteArray());
        encodeRecord(MarksFile::placeholderRecord(), &added->last(), bad);
    }
    for (const QStringList& record : pending) {
        added->append(QByteArray());
        if (!encodeRecord(record, &added->last(), bad)) {
            return false;
        }
    }
    return true;
}

// No file can be made beside it: a damaged end stays where it is, and the
// new records begin after it and a blank line (five lines across a blank
// line are never a record). Returns the failure's reason, or nothing.
QString appendInPlace(Access& access, const QByteArray& found, bool damaged,
                      QList<QByteArray>& added, QByteArray* bytes)
{
    QByteArray lead;
    if (!found.isEmpty() && !found.endsWith('\n') && !found.endsWith('\r')) {
        lead += "\r\n";
    }
    if (damaged) {
        lead += "\r\n";
    }
    added.first().prepend(lead);
    *bytes = found + joined(added);
    return access.append(added);
}

} // namespace

// Appends the pending records after the records already in the file.
MarksWrite MarksStore::writePending()
{
    MarksWrite out;
    Access access(folder_, path());
    if (!access.ok()) {
        return out.failed(appendFailure(access.reason()));
    }
    const Found found = access.read();
    if (found.status == Found::Status::Unreadable) {
        return out.failed(QStringLiteral("マークの記録ファイル「%1」を読み込めないため、マークを"
                                         "記録できませんでした。\n理由: %2")
                              .arg(fileName(), found.error));
    }
    const bool foundOk = found.status == Found::Status::Ok;
    Kept kept;
    if (foundOk && !keptOf(found.bytes, knownWhole_, &kept)) {
        return out.failed(unencodableInFile(kept.unencodable));
    }
    if (!kept.damaged.isEmpty() && !access.inPlace()) {
        // In place it stays where it is, and the reader names it.
        out.findings.append(kept.told);
    }
    QList<QByteArray> added;
    QChar bad;
    if (!recordsToAdd(pending_, kept.hasRecords, &added, &bad)) {
        return out.failed(unencodableMessage(QString(bad)));
    }
    QByteArray bytes = kept.bytes;
    QString reason;
    if (access.inPlace() && !kept.utf8 && foundOk) {
        reason = appendInPlace(access, found.bytes, !kept.damaged.isEmpty(), added, &bytes);
    } else {
        if (access.inPlace()) {
            bytes += kept.damaged; // nowhere else to keep it
        } else if (!keepDamaged(folder_, kept.damaged)) {
            return out.failed(appendFailure(damagedNotKept()));
        }
        bytes += joined(added);
        reason = access.replace(bytes, found.bytes);
    }
    if (!reason.isEmpty()) {
        return out.failed(appendFailure(reason));
    }
    pending_.clear();
    knownWhole_ = bytes.endsWith('\n') ? bytes : QByteArray();
    return out;
}

namespace
{

// The table's marked rows 0..problemCount as records, counted in rows;
// false, with the character, when one of them cannot be written.
bool tableRecords(const SeriesState& st, QByteArray* bytes, qsizetype* rows, QChar* bad)
{
    const int last = std::clamp(st.problemCount, 0, SeriesState::SeriesRows - 1);
    for (int i = 0; i <= last; ++i) {
        if (!st.marked.at(static_cast<std::size_t>(i))) {
            continue;
        }
        if (!encodeRecord(MarksFile::rowRecord(st, i), bytes, bad)) {
            return false;
        }
        ++*rows;
    }
    return true;
}

// Lines that are no record, and the damaged end, as the file has them now
// (another copy may have moved away what this copy read): set aside for the
// teacher to mend, never mixed with records.
QByteArray setAside(const Layout& now)
{
    QByteArray aside;
    for (const LeftOut& l : now.leftOut) {
        aside += l.bytes;
    }
    return aside + now.damaged;
}

MarksFinding othersKept(qsizetype others)
{
    return {0, QStringLiteral("マークの記録ファイル「%1」は、このシリーズを開いている間に"
                              "ほかで書き換えられていました（別のVelmorantなど）。\n"
                              "どちらのマークも失わないように、こちらの記録のあとに、"
                              "ほかで書かれた記録%2件を残しました。ほかで外したマークが"
                              "戻っていることがあります。")
                   .arg(fileName(), QString::number(others))};
}

} // namespace

MarksWrite MarksStore::rewrite(const SeriesState& st)
{
    MarksWrite out;
    QByteArray bytes;
    QChar bad;
    qsizetype tableRows = 0;
    if (!tableRecords(st, &bytes, &tableRows, &bad)) {
        return out.failed(unencodableMessage(QString(bad)));
    }
    // Records beyond what the table holds were never shown; keep them.
    bytes += tail_.laterRecords;

    Access access(folder_, path());
    if (!access.ok()) {
        return out.failed(rewriteFailure(access.reason()));
    }
    const Found found = access.read();
    if (found.status == Found::Status::Unreadable) {
        return out.failed(rewriteFailure(found.error));
    }
    const Layout now =
        found.status == Found::Status::Ok ? cut(TextFile::decodeLenient(found.bytes)) : Layout{};
    if (!now.unencodable.isEmpty()) {
        return out.failed(unencodableInFile(now.unencodable));
    }
    const qsizetype others = keepOthers(readRecords_, now, &bytes);
    if (!encodeRecords(pending_, &bytes, &bad)) {
        return out.failed(unencodableMessage(QString(bad)));
    }
    const QByteArray aside = setAside(now);
    if (access.inPlace()) {
        bytes += aside; // nowhere else to keep it
    } else if (!keepDamaged(folder_, aside)) {
        return out.failed(rewriteFailure(damagedNotKept()));
    }
    const QString reason = access.replace(bytes, found.bytes);
    if (!reason.isEmpty()) {
        return out.failed(rewriteFailure(reason));
    }
    if (others >= 0 && found.status == Found::Status::Ok) {
        out.findings.append(othersKept(others));
    }
    remember(bytes, tableRows);
    return out;
}

// The file now holds bytes: the table's first rows, then what lies beyond.
void MarksStore::remember(const QByteArray& bytes, qsizetype tableRows)
{
    const Layout written = cut(TextFile::decodeLenient(bytes));
    tail_.laterRecords = joined(written.recordBytes.mid(tableRows));
    tail_.leftOut.clear();
    tail_.damaged.clear();
    readRecords_ = written.records;
    pending_.clear();
    knownWhole_ = written.leftOut.isEmpty() && written.damaged.isEmpty() && bytes.endsWith('\n')
                      ? bytes
                      : QByteArray();
}

int MarksStore::read(SeriesState& st, QList<MarksFinding>* findings)
{
    return read(st, QString::fromLatin1(MarksFile::FileName), findings);
}

QString MarksStore::where() const
{
    return QDir::toNativeSeparators(folder_);
}

QList<Problem> MarksStore::problems()
{
    MarksStore other(folder_);
    auto table = std::make_unique<SeriesState>();
    QList<MarksFinding> told; // told when the marked series is opened
    const int rows = other.read(*table, &told);
    QList<Problem> out;
    for (int row = 1; row <= rows; ++row) {
        out.append(table->problems.at(static_cast<std::size_t>(row)));
    }
    return out;
}
