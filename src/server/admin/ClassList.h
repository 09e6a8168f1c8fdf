#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A teacher's class list: one name a line, or the first column of a CSV as
// Excel saves it (quoted fields, code page 932 or UTF-8, with or without a
// byte order mark, CR LF). A first row that only names the column (名前,
// 氏名, name...) is not a learner; blank rows are skipped.
namespace ClassList
{

constexpr int MaxNameLength = 64;

struct Read {
    QStringList names;  // trimmed, each once, in the list's order
    QStringList errors; // Japanese, each naming its line
};

// A file whose name ends in .csv is read as CSV; any other as one name a
// line (the text before a tab, as a spreadsheet's text export has it).
Read read(const QString& path);
Read fromBytes(const QByteArray& bytes, bool csv);

} // namespace ClassList
