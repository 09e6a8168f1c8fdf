#pragma once

#include "files/TextFile.h"
#include "marks/MarksFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The marks file read line by line: which runs of lines are records, which
// are left out and why, and the records written back in code page 932.
namespace MarksLayout
{

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

// The file cut into records, lines left out and a damaged end. The
// placeholder is the first five lines whatever they hold.
Layout cut(const TextFile::ReadResult& file);
QByteArray joined(const QList<QByteArray>& parts);
// True when bytes[from..] are whole records and nothing else, so that an
// append need not decode the file line by line.
bool wholeRecordsFrom(const QByteArray& bytes, qsizetype from);
QString damagedMessage(const Layout& layout);
// What reading the file leaves out, line by line, and what it does not read.
QList<MarksFinding> readFindings(const Layout& layout, const QString& name);
QString unencodableMessage(const QString& bad);
// The first character of a record that code page 932 cannot hold, whole.
QString unencodableIn(const QStringList& record);
bool encodeRecord(const QStringList& columns, QByteArray* out, QChar* bad);
// Stops at the first record the code page cannot hold.
bool encodeRecords(const QList<QStringList>& records, QByteArray* out, QChar* bad);

} // namespace MarksLayout
