#include "marks/MarksLayout.h"

#include "series/SeriesParser.h"
#include "series/SeriesState.h"

#include <algorithm>
#include <numeric>

namespace MarksLayout
{
namespace
{

QString fileName()
{
    return QString::fromLatin1(MarksFile::FileName);
}

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

} // namespace

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

} // namespace MarksLayout
