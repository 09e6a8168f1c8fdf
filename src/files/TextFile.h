#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// Text files of the working directory, in code page 932 (Shift-JIS with
// Microsoft's extensions). Lines end with CR LF; a lone CR or LF also ends a
// line, so files edited elsewhere still read line by line.
namespace TextFile
{

struct Line {
    QString text;
    qsizetype byteOffset = 0; // where the line starts in the file
    qsizetype byteEnd = 0;    // just past its line end (or the end of the file)
    bool terminated = false;  // a line end follows it
};

struct ReadResult {
    enum class Status { Ok, Missing, Unreadable, BadEncoding };
    Status status = Status::Ok;
    QList<Line> lines; // on BadEncoding: the lines before the bad one
    int badLine = 0;   // 1-based line with bytes that are not code page 932
    QString error;     // the system's reason when the file cannot be read
    QByteArray bytes;  // the file as it is on disk

    bool ok() const { return status == Status::Ok; }
    QStringList texts() const;
};

// Reads and decodes a whole file. Nothing undecodable is ever replaced: the
// first line with a bad byte stops the decoding and is reported.
ReadResult read(const QString& path);

// Splits raw bytes into lines and decodes them; stops at the first line that
// is not valid code page 932.
ReadResult decode(const QByteArray& bytes);

// Decodes one piece of text; false when a byte is not valid code page 932.
bool decodeText(QByteArrayView bytes, QString* out);
// Encodes text; false (and *badChar set) when a character has no code in
// code page 932.
bool encodeText(const QString& text, QByteArray* out, QChar* badChar = nullptr);

} // namespace TextFile
