#pragma once

#include <QByteArray>

// Teachers' files come in code page 932 (what the program has always read)
// or, from newer editors, in UTF-8. Telling them apart must never misread a
// real code page 932 file.
namespace TextEncoding
{

enum class Encoding { Cp932, Utf8 };

struct Detected {
    Encoding encoding = Encoding::Cp932;
    qsizetype bomLength = 0; // bytes of a UTF-8 byte order mark to skip
};

// A UTF-8 byte order mark decides at once. Otherwise the bytes are UTF-8 only
// when they decode as UTF-8 and hold at least one multi-byte sequence: plain
// ASCII reads the same either way, and Japanese text in code page 932 breaks
// the UTF-8 rules within its first few characters (kana lead bytes 0x82/0x83
// are UTF-8 continuation bytes, half-width kana are never valid in UTF-8).
Detected detect(const QByteArray& bytes);

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF, no sequence cut off at the end).
bool isValidUtf8(const QByteArray& bytes, bool* hasMultiByte = nullptr);

} // namespace TextEncoding
