#include "marks/MarksFile.h"

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
#include <numeric>
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

// A run of lines that is not a whole, well-formed record: left out of the
// table, named by its first line, and kept in the file.
struct LeftOut {
    int line = 0; // 1-based
    QString reason;
    QByteArray bytes;
};

// The marks file cut into what can be used and what cannot.
struct Layout {
    QList<QStringList> records;    // well-formed records, the placeholder first, in file order
    QList<QByteArray> recordBytes; // each record in code page 932, ending in CR LF
    QList<int> recordLines;        // first line of each record, 1-based
    QList<LeftOut> leftOut;        // between and after the records
    // Everything before the damaged end, in code page 932 (as on disk for a
    // code page 932 file), its last line ended: what an append keeps.
    QByteArray kept;
    QByteArray damaged;  // a last run too short to be a record, or without its line end
    int damagedLine = 0; // first line of the damaged part, 1-based
    bool utf8 = false;   // the file is UTF-8: every write turns it into code page 932
    bool utf16 = false;  // nothing of it could be read
    QString damagedReason;
    QString unencodable; // a character of a UTF-8 file that code page 932 cannot hold
};

bool onlyLineEnds(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\r' || c == '\n'; });
}

bool blankLine(const QString& text)
{
    return SeriesParser::trimBlanks(text).isEmpty();
}

// Why lines [first, first + 5) are not a marked problem the board can show
// and solve; empty when they are one.
QString recordFault(const TextFile::ReadResult& file, qsizetype first)
{
    if (first + MarksFile::LinesPerRecord > file.lines.size()) {
        return QStringLiteral("5行そろっていません");
    }
    for (int j = 0; j < MarksFile::LinesPerRecord; ++j) {
        if (file.badLines.contains(static_cast<int>(first + j + 1))) {
            return QStringLiteral(
                "シフトJIS（コードページ932）の文字として読めないバイトがあります");
        }
    }
    const auto text = [&](int j) { return file.lines.at(first + j).text; };
    static const char16_t* const Names[] = {u"問題文", u"項目", u"分類群", u"正解"};
    for (int j = 0; j < 4; ++j) {
        if (blankLine(text(j))) {
            return QStringLiteral("%1の行（%2行目）が空です")
                .arg(QString::fromUtf16(Names[j]), QString::number(first + j + 1));
        }
    }
    const int terms = SeriesParser::countFields(text(1));
    const int groups = SeriesParser::countFields(text(2));
    QStringList answers = text(3).split(QLatin1Char(','));
    if (text(3).endsWith(QLatin1Char(','))) {
        answers.removeLast();
    }
    if (answers.size() != terms) {
        return QStringLiteral("正解の数（%1）が項目の数（%2）と合いません")
            .arg(QString::number(answers.size()), QString::number(terms));
    }
    for (const QString& a : answers) {
        bool number = false;
        const int group = a.toInt(&number);
        if (!number || group < 1 || group > groups) {
            return QStringLiteral("正解「%1」が分類群の番号（1～%2）ではありません")
                .arg(a, QString::number(groups));
        }
    }
    return {};
}

QByteArray slice(const TextFile::ReadResult& file, qsizetype from, qsizetype to)
{
    const qsizetype start = file.lines.at(from).byteOffset;
    const qsizetype end =
        to < file.lines.size() ? file.lines.at(to).byteOffset : file.lines.at(to - 1).byteEnd;
    QByteArray bytes = file.bytes.mid(start, end - start);
    if (to == file.lines.size() && !file.lines.at(to - 1).terminated) {
        bytes += "\r\n"; // a last line without its line end still ends its record
    }
    return bytes;
}

// Lines [from, to) in code page 932: as on disk, or encoded anew from a
// UTF-8 file, where *bad gets a character code page 932 cannot hold.
QByteArray cp932Lines(const TextFile::ReadResult& file, qsizetype from, qsizetype to, QString* bad)
{
    if (file.encoding != TextEncoding::Encoding::Utf8) {
        return slice(file, from, to);
    }
    QByteArray out;
    for (qsizetype i = from; i < to; ++i) {
        QByteArray line;
        if (!TextFile::encodeText(file.lines.at(i).text, &line) && bad->isEmpty()) {
            *bad = TextFile::firstUnencodable(file.lines.at(i).text);
            line = file.lines.at(i).text.toUtf8();
        }
        out += line + "\r\n";
    }
    return out;
}

// The first line at or after `from` where a well-formed record begins.
qsizetype nextRecord(const TextFile::ReadResult& file, qsizetype from)
{
    for (qsizetype q = from; q + MarksFile::LinesPerRecord <= file.lines.size(); ++q) {
        if (!blankLine(file.lines.at(q).text) && recordFault(file, q).isEmpty()) {
            return q;
        }
    }
    return -1;
}

void takeRecord(const TextFile::ReadResult& file, qsizetype from, Layout* out)
{
    QStringList record;
    for (int j = 0; j < MarksFile::LinesPerRecord; ++j) {
        record.append(file.lines.at(from + j).text);
    }
    out->records.append(record);
    out->recordBytes.append(
        cp932Lines(file, from, from + MarksFile::LinesPerRecord, &out->unencodable));
    out->recordLines.append(static_cast<int>(from + 1));
}

// Why lines [from, to) are no record. A run of other than five lines is no
// record at all: say so rather than what is wrong with its first five.
QString noRecordReason(const TextFile::ReadResult& file, qsizetype from, qsizetype to)
{
    const qsizetype run = to - from;
    return run == MarksFile::LinesPerRecord
               ? recordFault(file, from)
               : QStringLiteral("%1行が、5行でひとまとまりの記録になっていません").arg(run);
}

// The file's first `keptLines` lines are kept; what follows them, other than
// line ends, is the damaged end.
void keepUpTo(const TextFile::ReadResult& file, qsizetype keptLines, Layout* out)
{
    if (keptLines > 0) {
        out->kept = cp932Lines(file, 0, keptLines, &out->unencodable);
    }
    const qsizetype keptBytes = keptLines > 0 ? file.lines.at(keptLines - 1).byteEnd : 0;
    const QByteArray rest = file.bytes.mid(keptBytes);
    if (!onlyLineEnds(rest)) {
        out->damaged = rest;
        out->damagedLine = static_cast<int>(keptLines) + 1;
    }
}

// The placeholder is the first five lines whatever they hold. After it,
// blank lines between records are skipped, and lines that are not a record
// are left out up to the next line where one begins, so one foreign line
// never shifts the records after it. A last run shorter than a record, or
// without its line end, is the damaged end a torn write leaves.
Layout cut(const TextFile::ReadResult& file)
{
    Layout out;
    out.utf8 = file.encoding == TextEncoding::Encoding::Utf8;
    out.utf16 = file.encoding == TextEncoding::Encoding::Utf16;
    const qsizetype n = file.lines.size();
    qsizetype p = 0;
    if (n >= MarksFile::LinesPerRecord) {
        takeRecord(file, 0, &out);
        p = MarksFile::LinesPerRecord;
    }
    while (p < n && !out.records.isEmpty()) {
        while (p < n && blankLine(file.lines.at(p).text)) {
            ++p;
        }
        if (p >= n) {
            break;
        }
        if (recordFault(file, p).isEmpty()) {
            takeRecord(file, p, &out);
            p += MarksFile::LinesPerRecord;
            continue;
        }
        const qsizetype next = nextRecord(file, p + 1);
        const QString reason = noRecordReason(file, p, next < 0 ? n : next);
        if (next < 0) {
            // Nothing whole follows: the damaged end, as a torn write leaves
            // it. It is set aside before anything is appended, so that it
            // never runs into a new record.
            out.damagedReason = reason;
            break;
        }
        out.leftOut.append(
            {static_cast<int>(p + 1), reason, cp932Lines(file, p, next, &out.unencodable)});
        p = next;
    }
    keepUpTo(file, p, &out);
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
        .arg(fileName(), QString::number(layout.damagedLine),
             layout.utf16 ? QStringLiteral("UTF-16 で保存されていて読めません")
             : layout.damagedReason.isEmpty()
                 ? QStringLiteral("5行でひとまとまりの記録が途中で終わっています")
                 : layout.damagedReason,
             QString::fromLatin1(MarksFile::DamagedFileName));
}

// What reading the file leaves out, line by line, and what it does not read.
QList<MarksFinding> readFindings(const Layout& layout, const QString& name)
{
    QList<MarksFinding> out;
    for (const LeftOut& l : layout.leftOut) {
        out.append(
            {l.line, QStringLiteral("マークの記録ファイル「%1」の%2行目からの記録は、形が正しくない"
                                    "ため読み込みませんでした（%3）。この記録は、マークを外して"
                                    "書き直すときに「%4」に移して残します。")
                         .arg(name, QString::number(l.line), l.reason,
                              QString::fromLatin1(MarksFile::DamagedFileName))});
    }
    if (!layout.damaged.isEmpty()) {
        out.append({layout.damagedLine, damagedMessage(layout)});
    }
    if (layout.records.size() > SeriesState::SeriesRows) {
        const int first = layout.recordLines.at(SeriesState::SeriesRows);
        out.append(
            {first,
             QStringLiteral("マークの記録ファイル「%1」には%2問の記録があります。読み込むのは"
                            "最初の%3問までで、%4行目から先の%5問は表示しません"
                            "（ファイルには残します）。")
                 .arg(name, QString::number(layout.records.size() - 1),
                      QString::number(SeriesState::SeriesRows - 1), QString::number(first),
                      QString::number(layout.records.size() - SeriesState::SeriesRows)),
             true});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const MarksFinding& x, const MarksFinding& y) { return x.line < y.line; });
    return out;
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
