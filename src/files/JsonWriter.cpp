#include "files/JsonWriter.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

void JsonWriter::beforeValue()
{
    if (std::exchange(comma_, true)) {
        out_.append(',');
    }
}

JsonWriter& JsonWriter::opening(char bracket)
{
    beforeValue();
    out_.append(bracket);
    comma_ = false;
    return *this;
}

JsonWriter& JsonWriter::closing(char bracket)
{
    out_.append(bracket);
    comma_ = true;
    return *this;
}

JsonWriter& JsonWriter::key(QLatin1StringView name)
{
    if (comma_) {
        out_.append(',');
    }
    out_.append('"').append(name.data(), name.size()).append("\":", 2);
    // The value follows the colon with no comma.
    comma_ = false;
    return *this;
}

void JsonWriter::appendString(QByteArray& out, QStringView text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    // Room for the worst case, grown by half at least: reserving just
    // enough for each string would copy the whole reply for every one.
    if (const qsizetype needed = out.size() + text.size() * 3 + 2; needed > out.capacity()) {
        out.reserve(std::max(needed, out.capacity() + out.capacity() / 2));
    }
    out.append('"');
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    for (; p != end; ++p) {
        const char32_t u = *p;
        if (u < 0x80) {
            if (u == '"' || u == '\\') {
                out.append('\\').append(char(u));
            } else if (u >= 0x20) {
                out.append(char(u));
            } else if (u == '\n') {
                out.append("\\n", 2);
            } else if (u == '\r') {
                out.append("\\r", 2);
            } else if (u == '\t') {
                out.append("\\t", 2);
            } else {
                const char esc[] = {'\\', 'u', '0', '0', Hex[u >> 4], Hex[u & 15]};
                out.append(esc, 6);
            }
        } else if (u < 0x800) {
            out.append(char(0xc0 | u >> 6)).append(char(0x80 | (u & 0x3f)));
        } else if (QChar::isHighSurrogate(u) && p + 1 != end && QChar::isLowSurrogate(p[1])) {
            const char32_t c = QChar::surrogateToUcs4(char16_t(u), p[1]);
            ++p;
            const char b[] = {char(0xf0 | c >> 18), char(0x80 | (c >> 12 & 0x3f)),
                              char(0x80 | (c >> 6 & 0x3f)), char(0x80 | (c & 0x3f))};
            out.append(b, 4);
        } else {
            // A surrogate without its pair cannot be written in UTF-8: the
            // replacement character stands for it, as Qt's own conversion does.
            const char32_t c = QChar::isSurrogate(u) ? 0xfffd : u;
            const char b[] = {char(0xe0 | c >> 12), char(0x80 | (c >> 6 & 0x3f)),
                              char(0x80 | (c & 0x3f))};
            out.append(b, 3);
        }
    }
    out.append('"');
}

JsonWriter& JsonWriter::value(QStringView text)
{
    beforeValue();
    appendString(out_, text);
    return *this;
}

JsonWriter& JsonWriter::value(QLatin1StringView text)
{
    for (const char c : text) {
        if (uchar(c) >= 0x80 || uchar(c) < 0x20 || c == '"' || c == '\\') {
            return value(QStringView(QString(text)));
        }
    }
    beforeValue();
    out_.append('"').append(text.data(), text.size()).append('"');
    return *this;
}

JsonWriter& JsonWriter::value(bool b)
{
    beforeValue();
    out_.append(b ? QByteArrayView("true") : QByteArrayView("false"));
    return *this;
}

JsonWriter& JsonWriter::value(qint64 n)
{
    beforeValue();
    out_.append(QByteArray::number(n));
    return *this;
}

JsonWriter& JsonWriter::value(double d)
{
    if (!std::isfinite(d)) {
        return null();
    }
    beforeValue();
    // Whole numbers as integers, the others as short as they read back
    // exactly: as QJsonDocument writes them.
    if (d == std::trunc(d) && std::abs(d) < 9007199254740992.0) {
        out_.append(QByteArray::number(qint64(d)));
    } else {
        out_.append(QByteArray::number(d, 'g', QLocale::FloatingPointShortest));
    }
    return *this;
}

JsonWriter& JsonWriter::null()
{
    beforeValue();
    out_.append("null", 4);
    return *this;
}

JsonWriter& JsonWriter::raw(QByteArrayView json)
{
    beforeValue();
    out_.append(json);
    return *this;
}

JsonWriter& JsonWriter::members(QByteArrayView json)
{
    if (json.isEmpty()) {
        return *this;
    }
    if (comma_) {
        out_.append(',');
    }
    out_.append(json);
    comma_ = true;
    return *this;
}
