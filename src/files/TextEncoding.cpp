#include "files/TextEncoding.h"

#include <QStringDecoder>

#include <algorithm>

namespace TextEncoding
{

bool isValidUtf8(const QByteArray& bytes, bool* hasLongSequence)
{
    bool multi = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0) {
                low = 0xA0; // no overlong forms
            } else if (c == 0xED) {
                high = 0x9F; // no surrogates
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0) {
                low = 0x90;
            } else if (c == 0xF4) {
                high = 0x8F; // nothing above U+10FFFF
            }
        } else {
            return false;
        }
        if (i + more >= n) {
            return false;
        }
        if (p[i + 1] < low || p[i + 1] > high) {
            return false;
        }
        for (int k = 2; k <= more; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) {
                return false;
            }
        }
        multi = multi || more >= 2;
        i += more + 1;
    }
    if (hasLongSequence != nullptr) {
        *hasLongSequence = multi;
    }
    return true;
}

namespace
{

// A zero byte beside a non-zero one in most pairs of the first bytes: UTF-16
// text without its mark. A run of zero bytes is no such sign.
bool looksLikeUtf16(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        return true;
    }
    const qsizetype n = std::min<qsizetype>(bytes.size(), 64) & ~qsizetype(1);
    if (n < 4) {
        return false;
    }
    int highZero = 0; // little-endian: the zero byte second
    int lowZero = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        const bool first = bytes.at(i) == '\0';
        const bool second = bytes.at(i + 1) == '\0';
        highZero += !first && second ? 1 : 0;
        lowZero += first && !second ? 1 : 0;
    }
    const qsizetype pairs = n / 2;
    return highZero * 4 >= pairs * 3 || lowZero * 4 >= pairs * 3;
}

bool isCp932(const QByteArray& bytes)
{
    QStringDecoder decoder("windows-31j", QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

Detected detect(const QByteArray& bytes)
{
    if (looksLikeUtf16(bytes)) {
        return {Encoding::Utf16, 0};
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        const QByteArray rest = bytes.mid(3);
        return {isValidUtf8(rest) || !isCp932(rest) ? Encoding::Utf8 : Encoding::Cp932, 3};
    }
    bool multi = false;
    if (isValidUtf8(bytes, &multi) && multi) {
        return {Encoding::Utf8, 0};
    }
    return {};
}

} // namespace TextEncoding
