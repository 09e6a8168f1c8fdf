#include "series/MarksFile.h"

#include "files/FileLookup.h"
#include "files/SafeWrite.h"
#include "files/TextFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <numeric>
#include <utility>

namespace MarksFile
{

QStringList placeholderRecord()
{
    return {QStringLiteral("問題０　マークした問題の記録（この最初の記録は表示されません）"),
            QString(), QString(), QString(), QString()};
}

QStringList rowRecord(const Module1& st, int row)
{
    QStringList record;
    const auto& cells = st.SeriesTable.at(static_cast<std::size_t>(row));
    for (int j = 0; j < LinesPerRecord; ++j) {
        record.append(cells.at(j));
    }
    return record;
}

} // namespace MarksFile

namespace
{

// A lock older than this was left by a copy that died holding it (or by one
// on another machine that cannot be asked); a write takes milliseconds.
constexpr int StaleLockMs = 4000;
// How long a write waits for another copy's lock before it counts as failed.
constexpr int LockWaitMs = 5000;

QString fileName()
{
    return QString::fromLatin1(MarksFile::FileName);
}

// The marks file cut into what can be used and what cannot.
struct Layout {
    QList<QStringList> records;    // whole records, in file order
    QList<QByteArray> recordBytes; // each record as it was on disk, ending in CR LF
    QByteArray damaged;  // bytes after the last whole record that hold more than line ends
    int damagedLine = 0; // first line of the damaged part, 1-based
    bool badEncoding = false;
};

bool onlyLineEnds(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\r' || c == '\n'; });
}

Layout cut(const TextFile::ReadResult& file)
{
    Layout out;
    const qsizetype whole = file.lines.size() / MarksFile::LinesPerRecord;
    qsizetype end = 0;
    for (qsizetype r = 0; r < whole; ++r) {
        QStringList record;
        const qsizetype first = r * MarksFile::LinesPerRecord;
        for (int j = 0; j < MarksFile::LinesPerRecord; ++j) {
            record.append(file.lines.at(first + j).text);
        }
        const TextFile::Line& last = file.lines.at(first + MarksFile::LinesPerRecord - 1);
        QByteArray bytes = file.bytes.mid(file.lines.at(first).byteOffset,
                                          last.byteEnd - file.lines.at(first).byteOffset);
        if (!last.terminated) {
            bytes += "\r\n"; // a last line without its line end still ends the record
        }
        out.records.append(record);
        out.recordBytes.append(bytes);
        end = last.byteEnd;
    }
    const QByteArray rest = file.bytes.mid(end);
    if (!onlyLineEnds(rest)) {
        out.damaged = rest;
        out.damagedLine = static_cast<int>(whole * MarksFile::LinesPerRecord) + 1;
    }
    out.badEncoding = file.status == TextFile::ReadResult::Status::BadEncoding;
    return out;
}

QByteArray joined(const QList<QByteArray>& parts)
{
    return std::accumulate(parts.begin(), parts.end(), QByteArray());
}

// True when bytes[from..] are whole records and nothing else: every line
// ends with a line end, there are a multiple of five of them and all are
// code page 932. Then cutting the file keeps it byte for byte, so an append
// need not decode it line by line. Lines are counted as TextFile counts them.
bool wholeRecordsFrom(const QByteArray& bytes, qsizetype from)
{
    const qsizetype n = bytes.size();
    if (from >= n) {
        return from == n;
    }
    if (bytes.back() != '\r' && bytes.back() != '\n') {
        return false;
    }
    qsizetype lines = 0;
    for (qsizetype i = from; i < n; ++i) {
        const char c = bytes.at(i);
        if (c == '\r' || c == '\n') {
            ++lines;
            if (c == '\r' && i + 1 < n && bytes.at(i + 1) == '\n') {
                ++i;
            }
        }
    }
    if (lines % MarksFile::LinesPerRecord != 0) {
        return false;
    }
    // Decoded in one piece: CR and LF are never trail bytes, so the whole
    // range decodes without error exactly when every line does.
    QString text;
    return TextFile::decodeText(QByteArrayView(bytes).sliced(from), &text);
}

QString damagedMessage(const Layout& layout)
{
    return QStringLiteral("マークの記録ファイル「%1」の%2行目から先は壊れているため"
                          "読み込みませんでした（%3）。\n"
                          "それより前の記録はそのまま使えます。壊れた部分は次に書き込むとき"
                          "「%4」に移して残します。")
        .arg(fileName())
        .arg(layout.damagedLine)
        .arg(layout.badEncoding ? QStringLiteral("シフトJISとして読めないバイトがあります")
                                : QStringLiteral("5行でひとまとまりの記録が途中で"
                                                 "終わっています"))
        .arg(QString::fromLatin1(MarksFile::DamagedFileName));
}

QString unencodableMessage(const QString& bad)
{
    const uint code = bad.isEmpty() ? 0U : bad.toUcs4().value(0);
    return QStringLiteral("この問題には、マークの記録ファイルの文字コード（シフトJIS）で"
                          "書けない文字「%1」（U+%2）があります。\n"
                          "マークはファイルに書き込まずに保留しています"
                          "（プログラムを終了すると消えます）。")
        .arg(bad, QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

// The first character of a record that code page 932 cannot hold, whole
// (both halves of a surrogate pair); empty when it can hold all of it.
QString unencodableIn(const QStringList& record)
{
    for (const QString& column : record) {
        QString bad = TextFile::firstUnencodable(column);
        if (!bad.isEmpty()) {
            return bad;
        }
    }
    return {};
}

bool encodeRecord(const QStringList& columns, QByteArray* out, QChar* bad)
{
    QByteArray all;
    for (const QString& column : columns) {
        QByteArray bytes;
        if (!TextFile::encodeText(column, &bytes, bad)) {
            return false;
        }
        all += bytes;
        all += "\r\n";
    }
    *out += all;
    return true;
}

// Stops at the first record the code page cannot hold.
bool encodeRecords(const QList<QStringList>& records, QByteArray* out, QChar* bad)
{
    return std::all_of(records.begin(), records.end(),
                       [&](const QStringList& r) { return encodeRecord(r, out, bad); });
}

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

// Holds the lock file beside the marks file while it lives.
class WriteLock
{
public:
    WriteLock(const QString& folder, int waitMs)
        : lock_(FileLookup::resolve(folder, QString::fromLatin1(MarksFile::LockFileName)))
    {
        lock_.setStaleLockTime(StaleLockMs);
        // Tried again every few milliseconds rather than with the lock
        // file's own growing pauses: a write holds the lock only briefly,
        // and a copy that waits long between tries may never find it free
        // while another writes often.
        QElapsedTimer waited;
        waited.start();
        while (!(held_ = lock_.tryLock(0)) && lock_.error() == QLockFile::LockFailedError &&
               waited.elapsed() < waitMs) {
            QThread::msleep(QRandomGenerator::global()->bounded(1, 4));
        }
        if (held_) {
            return;
        }
        switch (lock_.error()) {
        case QLockFile::LockFailedError:
            reason_ = QStringLiteral("ほかのVelmorantが書き込んでいる最中で、%1秒待っても"
                                     "終わりませんでした")
                          .arg((waitMs + 999) / 1000);
            break;
        case QLockFile::PermissionError:
            reason_ = QStringLiteral("フォルダーに書き込む権限がありません");
            break;
        case QLockFile::NoError:
        case QLockFile::UnknownError:
            reason_ = QStringLiteral("書き込み中の印のファイル「%1」を作れません"
                                     "（ディスクがいっぱいかもしれません）")
                          .arg(QString::fromLatin1(MarksFile::LockFileName));
            break;
        }
    }

    bool held() const { return held_; }
    const QString& reason() const { return reason_; }

private:
    QLockFile lock_;
    bool held_ = false;
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

int MarksStore::read(Module1& st, const QString& name, QList<MarksFinding>* findings)
{
    tail_ = {};
    readRecords_.clear();
    const TextFile::ReadResult file =
        TextFile::read(FileLookup::resolve(folder_, name), TextFile::Accept::Cp932Only);
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
        static_cast<int>(std::min<qsizetype>(layout.records.size(), Module1::SeriesRows));
    for (int k = 0; k < loaded; ++k) {
        auto& row = st.SeriesTable.at(static_cast<std::size_t>(k));
        for (int j = 0; j < MarksFile::LinesPerRecord; ++j) {
            row.at(j) = layout.records.at(k).at(j);
        }
        row[Module1::ColMark] = QStringLiteral("T");
    }
    for (qsizetype r = loaded; r < layout.records.size(); ++r) {
        tail_.laterRecords += layout.recordBytes.at(r);
    }
    tail_.damaged = layout.damaged;
    readRecords_ = layout.records;
    if (file.ok() && joined(layout.recordBytes) == file.bytes) {
        knownWhole_ = file.bytes;
    }
    if (!layout.damaged.isEmpty()) {
        findings->append({layout.damagedLine, damagedMessage(layout)});
    }
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

MarksWrite MarksStore::savePending()
{
    if (pending_.isEmpty()) {
        return {};
    }
    return writePending();
}

// Appends the pending records after the whole records already in the file.
MarksWrite MarksStore::writePending()
{
    MarksWrite out;
    const WriteLock lock(folder_, LockWaitMs);
    if (!lock.held()) {
        return out.failed(appendFailure(lock.reason()));
    }
    const QString file = path();
    const Found found = readBytes(file);
    if (found.status == Found::Status::Unreadable) {
        return out.failed(QStringLiteral("マークの記録ファイル「%1」を読み込めないため、マークを"
                                         "記録できませんでした。\n理由: %2")
                              .arg(fileName(), found.error));
    }
    QByteArray bytes;
    QByteArray damaged;
    bool hasRecords = false;
    // Most often the file is what this copy last wrote, perhaps with
    // records another copy appended since: only those need a look.
    const bool knownStart =
        !knownWhole_.isEmpty() && knownWhole_.endsWith('\n') && found.bytes.startsWith(knownWhole_);
    if (found.status == Found::Status::Ok && !found.bytes.isEmpty() &&
        wholeRecordsFrom(found.bytes, knownStart ? knownWhole_.size() : 0)) {
        bytes = found.bytes;
        hasRecords = true;
    } else if (found.status == Found::Status::Ok) {
        const Layout layout = cut(TextFile::decode(found.bytes, TextFile::Accept::Cp932Only));
        bytes = joined(layout.recordBytes);
        damaged = layout.damaged;
        hasRecords = !layout.records.isEmpty();
        if (!damaged.isEmpty()) {
            out.findings.append({layout.damagedLine, damagedMessage(layout)});
        }
    }
    // A new or empty file first gets its placeholder, so that the first
    // marked problem is not taken for it.
    QChar bad;
    if (!hasRecords) {
        encodeRecord(MarksFile::placeholderRecord(), &bytes, &bad);
    }
    if (!encodeRecords(pending_, &bytes, &bad)) {
        return out.failed(unencodableMessage(QString(bad)));
    }
    if (!keepDamaged(folder_, damaged)) {
        return out.failed(appendFailure(damagedNotKept()));
    }
    const QString reason = WriteFileAtomically(file, bytes);
    if (!reason.isEmpty()) {
        return out.failed(appendFailure(reason));
    }
    pending_.clear();
    knownWhole_ = bytes;
    return out;
}

MarksWrite MarksStore::rewrite(const Module1& st)
{
    MarksWrite out;
    QByteArray bytes;
    QChar bad;
    const int last = std::clamp(st.ProblemCount, 0, Module1::SeriesRows - 1);
    for (int i = 0; i <= last; ++i) {
        if (st.SeriesTable.at(static_cast<std::size_t>(i))[Module1::ColMark] ==
                QLatin1String("T") &&
            !encodeRecord(MarksFile::rowRecord(st, i), &bytes, &bad)) {
            return out.failed(unencodableMessage(QString(bad)));
        }
    }
    // Records beyond what the table holds were never shown; keep them.
    bytes += tail_.laterRecords;

    const WriteLock lock(folder_, LockWaitMs);
    if (!lock.held()) {
        return out.failed(rewriteFailure(lock.reason()));
    }
    const QString file = path();
    const Found found = readBytes(file);
    if (found.status == Found::Status::Unreadable) {
        return out.failed(rewriteFailure(found.error));
    }
    const Layout now = found.status == Found::Status::Ok
                           ? cut(TextFile::decode(found.bytes, TextFile::Accept::Cp932Only))
                           : Layout{};
    // What others wrote since the file was read. Records appended after
    // what this copy read go back unchanged after the table's rows. If the
    // file changed in any other way, every record this copy does not hold
    // is kept as well, so that no one's mark is lost; a mark removed
    // elsewhere may then come back, which is the lesser harm.
    const qsizetype readCount = readRecords_.size();
    const bool grown =
        now.records.size() >= readCount && now.records.mid(0, readCount) == readRecords_;
    qsizetype others = 0;
    if (grown) {
        bytes += joined(now.recordBytes.mid(readCount));
    } else {
        QList<QStringList> unmatched = readRecords_;
        // The first record is the file's placeholder, never a mark.
        for (qsizetype r = 1; r < now.records.size(); ++r) {
            const qsizetype at = unmatched.indexOf(now.records.at(r));
            if (at >= 0) {
                unmatched.removeAt(at);
            } else {
                bytes += now.recordBytes.at(r);
                ++others;
            }
        }
    }
    if (!encodeRecords(pending_, &bytes, &bad)) {
        return out.failed(unencodableMessage(QString(bad)));
    }
    // The damaged end the file has now: another copy may have moved away
    // the one this copy read.
    if (!keepDamaged(folder_, now.damaged)) {
        return out.failed(rewriteFailure(damagedNotKept()));
    }
    const QString reason = WriteFileAtomically(file, bytes);
    if (!reason.isEmpty()) {
        return out.failed(rewriteFailure(reason));
    }
    if (!grown && found.status == Found::Status::Ok) {
        out.findings.append(
            {0, QStringLiteral("マークの記録ファイル「%1」は、このシリーズを開いている間に"
                               "ほかで書き換えられていました（別のVelmorantなど）。\n"
                               "どちらのマークも失わないように、こちらの記録のあとに、"
                               "ほかで書かれた記録%2件を残しました。ほかで外したマークが"
                               "戻っていることがあります。")
                    .arg(fileName())
                    .arg(others)});
    }
    // The file now holds this: the table's rows, then what lies beyond them.
    const Layout written = cut(TextFile::decode(bytes, TextFile::Accept::Cp932Only));
    qsizetype tableRows = 0;
    for (int i = 0; i <= last; ++i) {
        tableRows +=
            st.SeriesTable.at(static_cast<std::size_t>(i))[Module1::ColMark] == QLatin1String("T")
                ? 1
                : 0;
    }
    tail_.laterRecords = joined(written.recordBytes.mid(tableRows));
    tail_.damaged.clear();
    readRecords_ = written.records;
    pending_.clear();
    knownWhole_ = wholeRecordsFrom(bytes, 0) ? bytes : QByteArray();
    return out;
}
