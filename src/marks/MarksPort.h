#pragma once

#include "series/SeriesState.h"

#include <QList>
#include <QString>
#include <QStringList>

struct MarksFinding;
struct MarksWrite;

// Where one learner's marked problems are kept: the folder's marks file on
// the desktop, the learner's rows in the classroom server's store. A mark
// whose write failed is kept by the port and written with the next one.
class MarksPort
{
public:
    virtual ~MarksPort() = default;

    // Reads the marked problems into rows 1..k of the table, each flagged
    // marked, and returns k; -1 when there are none. What was found on the
    // way, for the learner, goes into *findings.
    virtual int read(SeriesState& st, QList<MarksFinding>* findings) = 0;
    // The marked problems as they are now, read without changing what the
    // port knows of them.
    virtual QList<Problem> problems() = 0;
    // Adds a mark, given as the five lines of its record, and writes it
    // along with those still to be written.
    virtual MarksWrite append(const QStringList& record) = 0;
    // Writes the marks still to be written, if there are any.
    virtual MarksWrite savePending() = 0;
    // After the marked series: keeps the rows read by read() that are still
    // flagged marked, and every mark added meanwhile by someone else.
    virtual MarksWrite rewrite(const SeriesState& st) = 0;
    // Marks whose write failed and that are still to be written.
    virtual qsizetype pendingCount() const = 0;
    // Takes back the mark added last by a failed append.
    virtual void takeBackLast() = 0;
    // Where the marks are kept, as the learner is told it.
    virtual QString where() const = 0;
};
