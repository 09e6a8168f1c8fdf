#pragma once

#include "files/TextFile.h"
#include "series/Finding.h"

#include <QString>

// What every reader of a teacher's file says about its bytes, in the same
// words for the program and the check.
namespace TextFindings
{

// A UTF-16 file: nothing of it is read.
QString utf16();
// The one error finding of a file that could not be read at all: missing,
// unreadable for `error`, or UTF-16. Nothing for a file that was read.
Findings readFailure(TextFile::ReadResult::Status status, const QString& error);
// A line with bytes that are neither code page 932 nor UTF-8.
QString badBytes(int line);
// One warning per line holding a control character other than a tab (a
// zero byte, an escape, ...): shown, it is invisible or a stray sign.
Findings controlCharacters(const TextFile::ReadResult& file);

} // namespace TextFindings
