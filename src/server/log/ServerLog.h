#pragma once

#include <QString>

// The server's journal: one line on standard error for each sign-in,
// sign-out, lock-out, refused request and store failure, which systemd's
// journal keeps. Callers never pass a code, password or cookie.
namespace ServerLog
{

// Writes `text` as one line (line breaks in it become spaces).
void line(const QString& text);

// The same, but the same line again within RepeatMs is counted, not
// written: a store down under load cannot flood the journal. The count
// goes out with the line's next writing. Whether it was written.
bool often(const QString& text);

constexpr qint64 RepeatMs = 60000;

// A refused request: its status class and path (up to its query). At
// most RefusedPerMinute such lines a minute, whatever paths are asked for.
void refused(int status, const QString& path);

constexpr int RefusedPerMinute = 60;

// A piece of a request (a path, a name) made safe for the journal: control
// characters and line breaks become spaces, at most `length` characters.
QString clean(const QString& text, int length = 80);

} // namespace ServerLog
