#include "series/MarksFile.h"

#include "files/SafeWrite.h"
#include "files/TextFile.h"
#include "forms/Form1.h"

#include <QFile>

#include <algorithm>

namespace MarksFile
{

QStringList placeholderRecord()
{
    return {QStringLiteral("問題０　マークした問題の記録（この最初の記録は表示されません）"),
            QString(), QString(), QString(), QString()};
}

} // namespace MarksFile

namespace
{

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

// Appends a whole record to *out, or nothing: a record with a character code
// page 932 cannot hold is never written in part or with a stand-in.
bool encodeRecord(Form1& form, const QStringList& columns, QByteArray* out, bool tell = true)
{
    QByteArray record;
    for (const QString& column : columns) {
        QByteArray bytes;
        if (!TextFile::encodeText(column, &bytes)) {
            if (tell) {
                const QString bad = TextFile::firstUnencodable(column);
                const uint code = bad.isEmpty() ? 0U : bad.toUcs4().value(0);
                form.tell(QStringLiteral("この問題には、マークの記録ファイルの文字コード"
                                         "（シフトJIS）で書けない文字「%1」（U+%2）があります。\n"
                                         "マークはファイルに書き込まずに保留しています"
                                         "（プログラムを終了すると消えます）。")
                              .arg(bad, QString::number(code, 16).toUpper().rightJustified(
                                            4, QLatin1Char('0'))));
            }
            return false;
        }
        record += bytes;
        record += "\r\n";
    }
    *out += record;
    return true;
}

void tellDamaged(Form1& form, const Layout& layout)
{
    form.tell(QStringLiteral("マークの記録ファイル「%1」の%2行目から先は壊れているため"
                             "読み込みませんでした（%3）。\n"
                             "それより前の記録はそのまま使えます。壊れた部分は次に書き込むとき"
                             "「%4」に移して残します。")
                  .arg(fileName())
                  .arg(layout.damagedLine)
                  .arg(layout.badEncoding
                           ? QStringLiteral("シフトJISとして読めないバイトがあります")
                           : QStringLiteral("5行でひとまとまりの記録が途中で"
                                            "終わっています"))
                  .arg(QString::fromLatin1(MarksFile::DamagedFileName)));
}

// Moves a damaged end out of the way of new records, keeping its bytes.
bool keepDamaged(const Form1& form, const QByteArray& damaged)
{
    if (damaged.isEmpty()) {
        return true;
    }
    const QString path = form.pathOf(QString::fromLatin1(MarksFile::DamagedFileName));
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

bool writeMarks(Form1& form, const QByteArray& bytes, const QByteArray& damaged, bool appending)
{
    if (!keepDamaged(form, damaged)) {
        form.tell(QStringLiteral("マークの記録ファイルの壊れた部分を「%1」に残せなかったため、"
                                 "「%2」には書き込みませんでした。")
                      .arg(QString::fromLatin1(MarksFile::DamagedFileName), fileName()));
        return false;
    }
    const QString reason = WriteFileAtomically(form.pathOf(fileName()), bytes);
    if (reason.isEmpty()) {
        return true;
    }
    form.tell(appending ? QStringLiteral("マークの記録ファイル「%1」に書き込めませんでした。\n"
                                         "理由: %2\n\n"
                                         "マークは失われていません。次にファイルへ書き込むときに"
                                         "もう一度記録します。")
                              .arg(fileName(), reason)
                        : QStringLiteral("マークの記録ファイル「%1」を書き直せませんでした。\n"
                                         "理由: %2\n\n"
                                         "ファイルは前のまま残っています。")
                              .arg(fileName(), reason));
    return false;
}

QStringList rowRecord(const Module1& st, int row)
{
    QStringList record;
    const auto& cells = st.SeriesTable.at(static_cast<std::size_t>(row));
    for (int j = 0; j < MarksFile::LinesPerRecord; ++j) {
        record.append(cells.at(j));
    }
    return record;
}

} // namespace

int ReadMarksFile(Form1& form)
{
    Module1& st = form.state;
    form.marksTail = {};
    const TextFile::ReadResult file =
        TextFile::read(form.pathOf(form.state.SeriesCatalog[0][1]), TextFile::Accept::Cp932Only);
    if (file.status == TextFile::ReadResult::Status::Missing) {
        return -1;
    }
    if (file.status == TextFile::ReadResult::Status::Unreadable) {
        form.tell(QStringLiteral("マークの記録ファイル「%1」を読み込めません。\n理由: %2")
                      .arg(fileName(), file.error));
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
        form.marksTail.laterRecords += layout.recordBytes.at(r);
    }
    form.marksTail.damaged = layout.damaged;
    if (!layout.damaged.isEmpty()) {
        tellDamaged(form, layout);
    }
    return loaded - 1;
}

namespace
{

// Appends records after the whole records already in the file; failed
// records are kept for the next write.
bool appendRecords(Form1& form, const QList<QStringList>& toWrite)
{
    const QString path = form.pathOf(fileName());
    const TextFile::ReadResult file = TextFile::read(path, TextFile::Accept::Cp932Only);
    if (file.status == TextFile::ReadResult::Status::Unreadable) {
        form.unsavedMarks = toWrite;
        form.tell(QStringLiteral("マークの記録ファイル「%1」を読み込めないため、マークを"
                                 "記録できませんでした。\n理由: %2\n\n"
                                 "マークは失われていません。次にファイルへ書き込むときに"
                                 "もう一度記録します。")
                      .arg(fileName(), file.error));
        return false;
    }
    QByteArray bytes;
    Layout layout;
    if (file.status != TextFile::ReadResult::Status::Missing) {
        layout = cut(file);
        for (const QByteArray& r : layout.recordBytes) {
            bytes += r;
        }
    }
    // A new or empty file first gets its placeholder, so that the first
    // marked problem is not taken for it.
    if (layout.records.isEmpty() && !encodeRecord(form, MarksFile::placeholderRecord(), &bytes)) {
        return false;
    }
    // Marks code page 932 cannot hold stay pending, told once, and never
    // stop the others from being written.
    QList<QStringList> held;
    for (const QStringList& record : toWrite) {
        if (!encodeRecord(form, record, &bytes, !form.unsavedMarks.contains(record))) {
            held.append(record);
        }
    }
    if (held.size() == toWrite.size()) {
        form.unsavedMarks = held;
        return false;
    }
    if (!layout.damaged.isEmpty()) {
        tellDamaged(form, layout);
    }
    if (!writeMarks(form, bytes, layout.damaged, true)) {
        form.unsavedMarks = toWrite;
        return false;
    }
    form.unsavedMarks = held;
    return true;
}

} // namespace

bool AppendMarkedProblem(Form1& form)
{
    Module1& st = form.state;
    QList<QStringList> toWrite = form.unsavedMarks;
    if (st.CurrentProblem >= 0 && st.CurrentProblem < Module1::SeriesRows) {
        toWrite.append(rowRecord(st, st.CurrentProblem));
    }
    // The mark is no longer pending on this problem either way: it is in the
    // file, or held for the next write.
    st.MarkPending = 0;
    return appendRecords(form, toWrite);
}

bool SaveUnsavedMarks(Form1& form)
{
    if (form.unsavedMarks.isEmpty()) {
        return true;
    }
    return appendRecords(form, form.unsavedMarks);
}

bool RewriteMarksFile(Form1& form)
{
    Module1& st = form.state;
    QByteArray bytes;
    const int last = std::clamp(st.ProblemCount, 0, Module1::SeriesRows - 1);
    for (int i = 0; i <= last; ++i) {
        if (st.SeriesTable.at(static_cast<std::size_t>(i))[Module1::ColMark] ==
                QLatin1String("T") &&
            !encodeRecord(form, rowRecord(st, i), &bytes)) {
            return false;
        }
    }
    // Records beyond what the table holds were never shown; keep them.
    bytes += form.marksTail.laterRecords;
    QList<QStringList> held;
    for (const QStringList& record : form.unsavedMarks) {
        if (!encodeRecord(form, record, &bytes, false)) {
            held.append(record);
        }
    }
    if (!writeMarks(form, bytes, form.marksTail.damaged, false)) {
        return false;
    }
    form.marksTail.damaged.clear();
    form.unsavedMarks = held;
    return true;
}
