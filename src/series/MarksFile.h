#pragma once

#include <QByteArray>
#include <QString>

class Form1;

// What a marks file held beyond the records that were read into the table:
// records after the hundredth marked problem, and a damaged end (a record
// cut short, or bytes that are not code page 932). A rewrite puts the former
// back after the table's records; the latter is never mixed with records.
struct MarksFileTail {
    QByteArray laterRecords; // whole records not loaded, as they were on disk
    QByteArray damaged;      // bytes after the last whole record
};

namespace MarksFile
{

constexpr const char* FileName = "Marked.txt";
// Where a damaged end of the marks file is kept when the file is written.
constexpr const char* DamagedFileName = "Marked.txt.damaged";
constexpr int LinesPerRecord = 5;

// The record written first into a new marks file. It is read into row 0 and
// never shown.
QStringList placeholderRecord();

} // namespace MarksFile

// Reads the marks file into SeriesTable rows 0..k and returns k; -1 when the
// file is missing or holds no whole record. Tells the user once about a
// damaged file.
int ReadMarksFile(Form1& form);
// Appends row CurrentProblem to the marks file and clears MarkPending.
// Returns false (and tells the user) when the file could not be written; the
// record is then kept in Form1::unsavedMarks and written with the next one.
bool AppendMarkedProblem(Form1& form);
// Writes the marked problems whose append failed earlier, if there are any.
bool SaveUnsavedMarks(Form1& form);
// Writes the marks file anew from rows 0..ProblemCount flagged "T". Returns
// false (and tells the user) when it could not be written; the old file then
// stays as it was.
bool RewriteMarksFile(Form1& form);
