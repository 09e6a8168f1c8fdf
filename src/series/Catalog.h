#pragma once

#include "files/TextFile.h"
#include "series/Finding.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Catalog
{

constexpr const char* FileName = "ZQCList.TXT";

// Splits one catalogue line into its fields: a field ends at a comma or at
// the line end; half-width spaces before a field (and after an unquoted one)
// are not part of it; a field that begins with a double quote runs to the
// next double quote and may hold commas.
QStringList splitFields(const QString& line);

struct Entry {
    QString title;
    QString fileName; // empty when the line has none
    int line = 0;
};

// The catalogue as read: one entry per non-blank line, in file order, all
// of them (the caller decides how many it can list). Findings name the
// lines without a file name or with extra fields, and the entries beyond
// the fiftieth; a file that could not be used at all has the status of its
// read and an error finding.
struct Result {
    TextFile::ReadResult::Status status = TextFile::ReadResult::Status::Ok;
    QString error; // the system's reason when unreadable
    int badLine = 0;
    QList<Entry> entries;
    QList<int> linesWithoutFileName;
    QList<int> linesWithExtraFields;
    QList<int> linesWithBadBytes; // left out of the list
    Findings findings;
};

Result read(const QString& path);

} // namespace Catalog
