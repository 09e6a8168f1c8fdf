#include "files/TextEncoding.h"

namespace TextEncoding
{

bool isValidUtf8(const QByteArray& bytes, bool* hasMultiByte)
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
        multi = true;
        i += more + 1;
    }
    if (hasMultiByte != nullptr) {
        *hasMultiByte = multi;
    }
    return true;
}

Detected detect(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return {Encoding::Utf8, 3};
    }
    bool multi = false;
    if (isValidUtf8(bytes, &multi) && multi) {
        return {Encoding::Utf8, 0};
    }
    return {};
}

} // namespace TextEncoding
