#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A teacher's class list: one name a line, or a CSV as Excel saves it
// (quoted fields, code page 932 or UTF-8, with or without a byte order
// mark, CR LF). A first row naming its columns decides what each holds:
// 組 (or クラス, with or without a 学年 column), 番号 (or 出席番号) and
// 氏名 (or 名前, or 姓 and 名), in any order, any other column passed
// over, so that one file may hold a whole grade; a header row naming 組 or
// 番号 but no name is refused. The header may come below a title, within
// the first few rows. Without such a row each line's first column is a
// name. Blank rows are skipped.
namespace ClassList
{

constexpr int MaxNameLength = 64;

struct Learner {
    QString className; // empty: the list has no 組 column
    int number = 0;    // 0: none
    QString name;
    int line = 0;
};

struct Read {
    QList<Learner> learners; // in the list's order
    QStringList names;       // theirs, trimmed
    QStringList errors;      // Japanese, each naming its line
    bool classColumn = false;
    int headerLine = 0; // 0: none; rows above it (a title) are passed over
};

// A file whose name ends in .csv is read as CSV; any other as one name a
// line (tab-separated columns, as a spreadsheet's text export has them).
Read read(const QString& path);
Read fromBytes(const QByteArray& bytes, bool csv);

} // namespace ClassList
