#include "files/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

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
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QStringEncoder one(Codec, QStringConverter::Flag::Stateless);
        // The result converts lazily: it must become bytes to be encoded.
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

ReadResult decode(const QByteArray& bytes, Accept accept)
{
    ReadResult result;
    result.bytes = bytes;
    TextEncoding::Detected detected;
    if (accept == Accept::Cp932OrUtf8) {
        detected = TextEncoding::detect(bytes);
    }
    result.encoding = detected.encoding;
    const bool utf8 = detected.encoding == TextEncoding::Encoding::Utf8;
    // CR and LF are never trail bytes in code page 932, nor part of a UTF-8
    // sequence, so the raw bytes can be cut into lines before decoding.
    const qsizetype n = bytes.size();
    qsizetype start = detected.bomLength;
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
            result.status = ReadResult::Status::BadEncoding;
            result.badLine = lineNo;
            return result;
        }
        result.lines.append(line);
        start = next;
    }
    return result;
}

ReadResult read(const QString& path, Accept accept)
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
    return decode(bytes, accept);
}

} // namespace TextFile
