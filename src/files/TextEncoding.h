#pragma once

#include <QByteArray>

// Teachers' files come in code page 932 (what the program has always read)
// or, from newer editors, in UTF-8. Telling them apart must never misread a
// real code page 932 file.
namespace TextEncoding
{

enum class Encoding { Cp932, Utf8, Utf16 };

struct Detected {
    Encoding encoding = Encoding::Cp932;
    qsizetype bomLength = 0; // bytes of a UTF-8 byte order mark to skip
};

// A UTF-8 byte order mark is skipped; the bytes after it are code page 932
// when they are not UTF-8 but are code page 932 throughout (an editor put
// the mark before a code page 932 text), otherwise UTF-8. Without the mark the bytes are UTF-8 only
// when they decode as UTF-8 and hold at least one sequence of three bytes or more, which Japanese
// text in UTF-8 always has: ASCII and half-width kana in code page 932 can form valid two-byte
// sequences (ﾊｲﾃｸ is CA B2 C3 B8), never three-byte ones. UTF-16 (a byte order mark FF FE or FE FF,
// or a zero byte beside every ASCII character) is named so that it can be refused.
Detected detect(const QByteArray& bytes);

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF, no sequence cut off at the end).
// *hasLongSequence: at least one sequence of three or four bytes.
bool isValidUtf8(const QByteArray& bytes, bool* hasLongSequence = nullptr);

} // namespace TextEncoding
