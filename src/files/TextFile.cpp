#include "files/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace TextFile
{

namespace
{
const char* const Codec = "windows-31j";

// One converter per thread: looking the code page up costs more than
// converting a line. Stateless: a lead byte cut off at the end must count as
// an error, not be kept back for more input that never comes. A converter
// that met an error keeps reporting it, so it is made anew after one, in
// place: a moved ICU converter no longer reports errors.
template <typename Converter> Converter& converter()
{
    thread_local std::optional<Converter> c;
    if (!c || c->hasError()) {
        c.emplace(Codec, QStringConverter::Flag::Stateless);
    }
    return *c;
}

bool decodeUtf8(QByteArrayView bytes, QString* out)
{
    // The file's own byte order mark is already skipped; one at the start of a
    // later line is text.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return false;
    }
    *out = std::move(text);
    return true;
}
} // namespace

QStringList ReadResult::texts() const
{
    QStringList out;
    out.reserve(lines.size());
    for (const Line& l : lines) {
        out.append(l.text);
    }
    return out;
}

bool decodeText(QByteArrayView bytes, QString* out)
{
    auto& d = converter<QStringDecoder>();
    QString text = d.decode(bytes);
    if (d.hasError()) {
        return false;
    }
    *out = std::move(text);
    return true;
}

QString firstUnencodable(const QString& text)
{
    // Nearly every text encodes whole: one conversion tells. Only a text
    // that does not is tried character by character.
    {
        auto& whole = converter<QStringEncoder>();
        // The result converts lazily: it must become bytes to be encoded.
        const QByteArray probe = whole.encode(text);
        Q_UNUSED(probe)
        if (!whole.hasError()) {
            return {};
        }
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        auto& one = converter<QStringEncoder>();
        const QByteArray probe = one.encode(QStringView(text).mid(i, len));
        Q_UNUSED(probe)
        if (one.hasError()) {
            return text.mid(i, len);
        }
        i += len - 1;
    }
    return {};
}

bool encodeText(const QString& text, QByteArray* out, QChar* badChar)
{
    auto& e = converter<QStringEncoder>();
    QByteArray bytes = e.encode(text);
    if (!e.hasError()) {
        *out = std::move(bytes);
        return true;
    }
    if (badChar != nullptr) {
        const QString bad = firstUnencodable(text);
        if (!bad.isEmpty()) {
            *badChar = bad.at(0);
        }
    }
    return false;
}

namespace
{

// A line that does not decode, with a substitute for each bad byte.
QString decodeReplacing(QByteArrayView bytes, bool utf8)
{
    if (utf8) {
        QStringDecoder decoder(QStringConverter::Utf8);
        return decoder.decode(bytes);
    }
    QStringDecoder decoder(Codec);
    return decoder.decode(bytes);
}

// Cuts the raw bytes into lines and decodes them one by one, stopping at the
// first line that does not decode, or, when lenient, keeping it replaced.
void decodeLineByLine(ReadResult* result, qsizetype start, bool utf8, bool lenient = false)
{
    const QByteArray& bytes = result->bytes;
    const qsizetype n = bytes.size();
    int lineNo = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && bytes.at(end) != '\r' && bytes.at(end) != '\n') {
            ++end;
        }
        qsizetype next = end;
        bool terminated = false;
        if (next < n) {
            terminated = true;
            if (bytes.at(next) == '\r' && next + 1 < n && bytes.at(next + 1) == '\n') {
                next += 2;
            } else {
                next += 1;
            }
        }
        ++lineNo;
        Line line;
        line.byteOffset = start;
        line.byteEnd = next;
        line.terminated = terminated;
        const QByteArrayView raw = QByteArrayView(bytes).sliced(start, end - start);
        if (!(utf8 ? decodeUtf8(raw, &line.text) : decodeText(raw, &line.text))) {
            if (!lenient) {
                result->status = ReadResult::Status::BadEncoding;
                result->badLine = lineNo;
                return;
            }
            line.text = decodeReplacing(raw, utf8);
            result->badLines.append(lineNo);
        }
        result->lines.append(line);
        start = next;
    }
}

// The first CR or LF at or after pos, or the end. Lines are short, so one
// pass that looks for both beats two searches that skip ahead for each.
qsizetype nextLineEnd(QByteArrayView bytes, qsizetype pos)
{
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; pos + 16 <= n; pos += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
        const int hits =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(c, cr), _mm_cmpeq_epi8(c, lf)));
        if (hits != 0) {
            return pos + __builtin_ctz(static_cast<unsigned>(hits));
        }
    }
#endif
    for (; pos < n; ++pos) {
        if (p[pos] == '\r' || p[pos] == '\n') {
            return pos;
        }
    }
    return n;
}

qsizetype nextLineEnd(QStringView text, qsizetype pos)
{
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i lf = _mm_set1_epi16(u'\n');
    for (; pos + 8 <= n; pos += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
        const int hits =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(c, cr), _mm_cmpeq_epi16(c, lf)));
        if (hits != 0) {
            // Two mask bits per character.
            return pos + __builtin_ctz(static_cast<unsigned>(hits)) / 2;
        }
    }
#endif
    for (; pos < n; ++pos) {
        if (p[pos] == u'\r' || p[pos] == u'\n') {
            return pos;
        }
    }
    return n;
}

// Splits text decoded from the bytes after start in one piece into the lines
// the bytes hold. False when the two do not line up, which a decoding
// without error never gives: every CR or LF byte is a character of its own.
bool splitDecoded(ReadResult* result, qsizetype start, const QString& text)
{
    const QByteArrayView bytes(result->bytes);
    const qsizetype n = bytes.size();
    qsizetype pos = 0; // in the text
    while (start < n) {
        const qsizetype end = nextLineEnd(bytes, start);
        const qsizetype textEnd = nextLineEnd(text, pos);
        Line line;
        line.byteOffset = start;
        line.text = text.mid(pos, textEnd - pos);
        qsizetype next = end;
        qsizetype textNext = textEnd;
        if (end < n) {
            if (textEnd == text.size() ||
                text.at(textEnd).unicode() != static_cast<uchar>(bytes.at(end))) {
                return false;
            }
            line.terminated = true;
            if (bytes.at(end) == '\r' && end + 1 < n && bytes.at(end + 1) == '\n') {
                if (textEnd + 1 == text.size() || text.at(textEnd + 1) != u'\n') {
                    return false;
                }
                next += 2;
                textNext += 2;
            } else {
                next += 1;
                textNext += 1;
            }
        } else if (textEnd != text.size()) {
            return false;
        }
        line.byteEnd = next;
        result->lines.append(std::move(line));
        start = next;
        pos = textNext;
    }
    return pos == text.size();
}

} // namespace

namespace
{

ReadResult decodeWith(const QByteArray& bytes, Accept accept, bool lenient)
{
    ReadResult result;
    result.bytes = bytes;
    TextEncoding::Detected detected;
    if (accept == Accept::Cp932OrUtf8) {
        detected = TextEncoding::detect(bytes);
    }
    result.encoding = detected.encoding;
    if (detected.encoding == TextEncoding::Encoding::Utf16) {
        result.status = ReadResult::Status::BadEncoding;
        result.badLine = 1;
        return result;
    }
    const bool utf8 = detected.encoding == TextEncoding::Encoding::Utf8;
    // CR and LF are never trail bytes in code page 932, nor part of a UTF-8
    // sequence, and neither code has shift states: decoding the whole file at
    // once gives the same lines as decoding them one by one, for a fraction
    // of the calls. Only a file with a bad byte is decoded line by line, to
    // find the line.
    const QByteArrayView body = QByteArrayView(bytes).sliced(detected.bomLength);
    QString text;
    if (utf8 ? decodeUtf8(body, &text) : decodeText(body, &text)) {
        if (splitDecoded(&result, detected.bomLength, text)) {
            return result;
        }
        result.lines.clear();
    }
    decodeLineByLine(&result, detected.bomLength, utf8, lenient);
    return result;
}

ReadResult readWith(const QString& path, Accept accept, bool lenient)
{
    QFile file(path);
    if (!file.exists()) {
        ReadResult r;
        r.status = ReadResult::Status::Missing;
        return r;
    }
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        ReadResult r;
        r.status = ReadResult::Status::Unreadable;
        r.error = QFileInfo(path).isDir() ? QStringLiteral("フォルダーです") : file.errorString();
        return r;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        ReadResult r;
        r.status = ReadResult::Status::Unreadable;
        r.error = file.errorString();
        return r;
    }
    return decodeWith(bytes, accept, lenient);
}

} // namespace

ReadResult decode(const QByteArray& bytes, Accept accept)
{
    return decodeWith(bytes, accept, false);
}

ReadResult decodeLenient(const QByteArray& bytes)
{
    return decodeWith(bytes, Accept::Cp932OrUtf8, true);
}

ReadResult readLenient(const QString& path)
{
    return readWith(path, Accept::Cp932OrUtf8, true);
}

ReadResult read(const QString& path, Accept accept)
{
    return readWith(path, accept, false);
}

} // namespace TextFile
