#pragma once

#include "files/TextFile.h"
#include "session/Prompts.h"

#include <QString>

class MainScreen;
struct MarksWrite;

// Turns what became of the program's files into the window's messages:
// a write of the marks file, and a series file or the catalogue that could
// not be read. The window's side of the marks file lives here too.
namespace MarksMessages
{

// Tells the user, in one message box, what there is to tell about a write
// in the course of the program. Returns whether the file was written.
bool tell(MainScreen& screen, const MarksWrite& result);

// The program is about to end and `last` was its last try to write the
// marks file. Returns true when the program may end; when that try failed
// and marks would be lost, asks `question` instead, saying so plainly, and
// returns false.
bool mayEnd(MainScreen& screen, const MarksWrite& last, Question question);

// Why the series file `name` in `folder` could not be read; empty when it
// was.
QString seriesReadFailure(TextFile::ReadResult::Status status, const QString& name,
                          const QString& error, const QString& folder);
// Why the catalogue `name` in `folder` could not be read; empty when it was.
QString catalogReadFailure(TextFile::ReadResult::Status status, const QString& name,
                           const QString& error, const QString& folder);

} // namespace MarksMessages

// Reads the marks file into the table as the marked series, telling what it
// found, and returns the last row read; -1 when it is missing or holds no
// whole record.
int ReadMarksFile(MainScreen& screen);
// Appends row currentProblem to the marks file and clears markPending.
// Returns false (and tells the user) when the file could not be written; the
// record is then kept and written with the next one.
bool AppendMarkedProblem(MainScreen& screen);
// Writes the marked problems whose append failed earlier, if there are any.
bool SaveUnsavedMarks(MainScreen& screen);
// Writes the marks file anew from rows 0..problemCount flagged "T". Returns
// false (and tells the user) when it could not be written; the old file then
// stays as it was.
bool RewriteMarksFile(MainScreen& screen);
