#pragma once

#include "marks/MarksPort.h"
#include "series/SeriesState.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// What a marks file held beyond the records that were read into the table:
// records after the hundredth marked problem, lines that are no record, and
// a damaged end (a record cut short). A rewrite puts the first back after
// the table's records and sets the others aside, never mixed with records.
struct MarksFileTail {
    QByteArray laterRecords; // whole records not loaded, as they were on disk
    QByteArray leftOut;      // lines between and after the records that are no record
    QByteArray damaged;      // bytes after the last whole record
};

namespace MarksFile
{

constexpr const char* FileName = "Marked.txt";
// Where a damaged end of the marks file is kept when the file is written.
constexpr const char* DamagedFileName = "Marked.txt.damaged";
// Held beside the marks file by whoever changes it, so that two copies of
// the program on one folder never replace each other's records.
constexpr const char* LockFileName = "Marked.txt.lock";
constexpr int LinesPerRecord = 5;

// The record written first into a new marks file. It is read into row 0 and
// never shown.
QStringList placeholderRecord();
// Problem `row` as a record of the file.
QStringList rowRecord(const SeriesState& st, int row);

} // namespace MarksFile

// Something about the marks file the user is to be told.
struct MarksFinding {
    int line = 0; // 1-based line of the marks file it is about; 0: the file as a whole
    QString message;
    bool warning = false; // all is read that can be; the rest is not left out
};

// What became of one write of the marks file.
struct MarksWrite {
    bool written = true;
    // When not written: which file could not be written and why, for the user.
    QString failure;
    // To tell whether or not the file was written.
    QList<MarksFinding> findings;

    // Not written, for this reason; what was found stays to be told.
    MarksWrite& failed(QString reason)
    {
        written = false;
        failure = std::move(reason);
        return *this;
    }
};

// The marks file of one working folder and what this copy of the program
// knows about it: what lay beyond the table when it was read, the records it
// read (so that a rewrite can tell what others appended since), and marks
// whose write failed and that are still to be written. Every change of the
// file is read, changed and replaced under a lock file beside it, so copies
// of the program sharing the folder never lose each other's records.
class MarksStore : public MarksPort
{
public:
    explicit MarksStore(QString folder);

    // Reads the marks file named `name` into problems 0..k and
    // returns k; -1 when it is missing or holds no whole record.
    int read(SeriesState& st, const QString& name, QList<MarksFinding>* findings);
    int read(SeriesState& st, QList<MarksFinding>* findings) override;
    QList<Problem> problems() override;
    // Adds a record to the marks still to be written and writes them all.
    // A record the code page cannot hold is held in memory, never written,
    // and reported once; the others are still written.
    MarksWrite append(const QStringList& record) override;
    // Writes the marks still to be written, if there are any.
    MarksWrite savePending() override;
    // Writes the file anew from rows 0..problemCount flagged "T", keeping
    // what was beyond the table and every record another copy of the
    // program added since the file was read.
    MarksWrite rewrite(const SeriesState& st) override;
    qsizetype pendingCount() const override { return pending_.size(); }
    QString where() const override;

    // Marks whose write failed; each later write tries them again.
    const QList<QStringList>& pending() const { return pending_; }
    // Takes back the mark added last by a failed append, which is then
    // no longer to be written.
    void takeBackLast() override
    {
        if (!pending_.isEmpty()) {
            pending_.removeLast();
        }
    }
    // Marks that code page 932 cannot hold: kept until the program ends.
    const QList<QStringList>& held() const { return held_; }
    const MarksFileTail& tail() const { return tail_; }
    QString path() const;
    QString folder() const { return folder_; }
    // Forgets everything but the folder, as a new store.
    void clear();

private:
    QString folder_;
    MarksFileTail tail_;
    QList<QStringList> pending_;
    QList<QStringList> held_;
    // Every whole record of the file as it was read, in file order.
    QList<QStringList> readRecords_;
    // The file's bytes when this store last saw it hold whole records and
    // nothing else; an append that finds them unchanged need not decode them.
    QByteArray knownWhole_;

    MarksWrite writePending();
    void remember(const QByteArray& bytes, qsizetype tableRows);
};

namespace MarksFile
{

// Appends the mark of problem `problem` (none when it is not in the table)
// along with the marks still to be written. The mark is no longer pending
// on the screen either way: it is in the file, or held for the next write.
MarksWrite appendMark(MarksPort& marks, SeriesState& st, int problem);

} // namespace MarksFile
