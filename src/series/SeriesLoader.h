#pragma once

#include "files/TextFile.h"
#include "series/Finding.h"
#include "series/SeriesParser.h"

#include <QList>
#include <QString>

struct SeriesState;

// A series file read and checked as the program uses it: the problems it can
// show, the ones it leaves out and why.
namespace SeriesLoader
{

struct Series {
    TextFile::ReadResult::Status status = TextFile::ReadResult::Status::Ok;
    QString error;          // the system's reason when unreadable
    int badLine = 0;        // BadEncoding: the file is UTF-16
    bool empty = false;     // the file holds nothing but blanks
    bool noProblem = false; // no line begins a problem
    QList<Problem> usable;  // in file order, all of them
    Findings leftOut;       // one error per problem left out, at its heading, by line
    // Beside the problems: lines not used (errors) and what is read but may
    // not be what was meant (warnings).
    Findings warnings;

    bool loads() const { return status == TextFile::ReadResult::Status::Ok && !usable.isEmpty(); }
    // How many of the usable problems the series table takes.
    int loadedCount() const;
    // Everything found, by line: the file's own faults, every problem left
    // out, and the problems beyond the table.
    Findings findings() const;
};

Series load(const QString& path);
// The same for bytes not (yet) in a file: an upload checked before it is kept.
Series read(const QByteArray& bytes);

// Puts the problems the quiz takes into its problems 1.. and returns how
// many.
int placeProblems(SeriesState& state, const Series& series);

} // namespace SeriesLoader
