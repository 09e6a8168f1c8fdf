#pragma once

#include "files/TextEncoding.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// Text files of the working directory, in code page 932 (Shift-JIS with
// Microsoft's extensions) or, where the caller allows it, UTF-8. Lines end with CR LF; a lone CR or
// LF also ends a line, so files edited elsewhere still read line by line.
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
    int badLine = 0;   // 1-based line with bytes that do not decode
    // Lenient reads only: every line with bytes that do not decode, 1-based;
    // such a line is kept with a substitute character for each bad byte.
    QList<int> badLines;
    QString error;    // the system's reason when the file cannot be read
    QByteArray bytes; // the file as it is on disk
    TextEncoding::Encoding encoding = TextEncoding::Encoding::Cp932;

    bool ok() const { return status == Status::Ok; }
    QStringList texts() const;
};

// Files the program writes itself stay in code page 932 and are read only as
// such, so that bytes read and bytes written never mix two encodings.
enum class Accept { Cp932OrUtf8, Cp932Only };

// Reads and decodes a whole file. Nothing undecodable is ever replaced: the
// first line with a bad byte stops the decoding and is reported.
ReadResult read(const QString& path, Accept accept = Accept::Cp932OrUtf8);

// Splits raw bytes into lines and decodes them; stops at the first line that
// does not decode. A UTF-8 byte order mark is not part of the first line.
ReadResult decode(const QByteArray& bytes, Accept accept = Accept::Cp932OrUtf8);

// As read and decode, but a line with bytes that do not decode is kept (and
// listed in badLines) and the lines after it are read on, so that a reader
// can leave out only what holds it. A UTF-16 file is BadEncoding with
// encoding Utf16: nothing of it is read.
ReadResult readLenient(const QString& path);
ReadResult decodeLenient(const QByteArray& bytes);

// Decodes one piece of text; false when a byte is not valid code page 932.
bool decodeText(QByteArrayView bytes, QString* out);
// Encodes text; false (and *badChar set) when a character has no code in
// code page 932.
bool encodeText(const QString& text, QByteArray* out, QChar* badChar = nullptr);
// The first character (a whole surrogate pair where there is one) that code
// page 932 cannot hold; empty when the whole text can be encoded.
QString firstUnencodable(const QString& text);

} // namespace TextFile
