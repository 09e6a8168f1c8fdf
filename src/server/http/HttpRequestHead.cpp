#include "server/http/HttpRequestHead.h"

#include <algorithm>

namespace
{

// The characters of a method or a field name.
bool isTokenChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')) {
        return true;
    }
    return c != 0 && QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), isTokenChar);
}

// Printable ASCII without spaces: a target as sent.
bool isTarget(QByteArrayView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7f;
    });
}

// A field value: no control characters but the tab.
bool isFieldValue(QByteArrayView s)
{
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u == '\t' || (u >= 0x20 && u != 0x7f);
    });
}

QByteArrayView trimmedSpace(QByteArrayView s)
{
    while (!s.isEmpty() && (s.front() == ' ' || s.front() == '\t')) {
        s = s.sliced(1);
    }
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '\t')) {
        s.chop(1);
    }
    return s;
}

} // namespace

HttpRequestHead::Verdict HttpRequestHead::read(QByteArrayView bytes)
{
    // The head ends at an empty line; lines end with CRLF, or LF alone.
    for (qsizetype lf = bytes.indexOf('\n', scanned_); lf >= 0; lf = bytes.indexOf('\n', lf + 1)) {
        scanned_ = lf;
        qsizetype next = lf + 1;
        if (next < bytes.size() && bytes.at(next) == '\r') {
            ++next;
        }
        if (next >= bytes.size() || next >= MaxHead) {
            break;
        }
        if (bytes.at(next) == '\n') {
            headLength_ = next + 1;
            return parse(bytes.first(next + 1));
        }
    }
    return bytes.size() >= MaxHead ? Verdict::HeadTooLarge : Verdict::NeedMore;
}

HttpRequestHead::Verdict HttpRequestHead::parse(QByteArrayView head)
{
    bool first = true;
    while (!head.isEmpty()) {
        const qsizetype lf = head.indexOf('\n');
        QByteArrayView line = head.first(lf);
        head = head.sliced(lf + 1);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty() && head.isEmpty()) {
            break;
        }
        const bool ok = first ? parseRequestLine(line) : parseField(line);
        if (!ok) {
            return Verdict::BadRequest;
        }
        first = false;
    }
    return framing();
}

bool HttpRequestHead::parseRequestLine(QByteArrayView line)
{
    const qsizetype space = line.indexOf(' ');
    const qsizetype last = line.lastIndexOf(' ');
    if (space <= 0 || last == space) {
        return false;
    }
    const QByteArrayView method = line.first(space);
    const QByteArrayView target = line.sliced(space + 1, last - space - 1);
    const QByteArrayView version = line.sliced(last + 1);
    if (!isToken(method) || !isTarget(target) ||
        (version != QByteArrayView("HTTP/1.1") && version != QByteArrayView("HTTP/1.0"))) {
        return false;
    }
    method_ = method.toByteArray();
    target_ = target.toByteArray();
    version_ = version.toByteArray();
    return true;
}

// "Name: value". A line that starts with a space would continue the last
// field, which nothing sends any more: it is refused with the rest.
bool HttpRequestHead::parseField(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !isToken(line.first(colon))) {
        return false;
    }
    const QByteArrayView value = trimmedSpace(line.sliced(colon + 1));
    if (!isFieldValue(value)) {
        return false;
    }
    headers_.append(qMakePair(line.first(colon).toByteArray(), value.toByteArray()));
    return true;
}

// The body is exactly Content-Length bytes, or none; anything that could
// be read two ways is refused, so that no proxy in front reads it otherwise.
HttpRequestHead::Verdict HttpRequestHead::framing()
{
    int lengths = 0;
    bool chunked = false;
    QByteArrayView length;
    for (const auto& [name, value] : std::as_const(headers_)) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            ++lengths;
            length = value;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            chunked = true;
        }
    }
    if (lengths > 1 || (lengths == 1 && chunked)) {
        return Verdict::BadRequest;
    }
    if (chunked) {
        return Verdict::LengthRequired;
    }
    if (lengths == 0) {
        bodyLength_ = 0;
        return Verdict::Complete;
    }
    if (length.isEmpty() ||
        !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Verdict::BadRequest;
    }
    // Past 18 digits it is past any limit, and would not fit a number.
    if (length.size() > 18 || length.toLongLong() > maxBody_) {
        return Verdict::TooLarge;
    }
    bodyLength_ = length.toLongLong();
    return Verdict::Complete;
}

QByteArray HttpRequestHead::value(QByteArrayView name) const
{
    for (const auto& [key, value] : headers_) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool HttpRequestHead::keepAlive() const
{
    if (version_ != "HTTP/1.1") {
        return false;
    }
    for (const QByteArray& option : value("Connection").split(',')) {
        if (option.trimmed().compare("close", Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    return true;
}

int HttpRequestHead::status(Verdict verdict)
{
    switch (verdict) {
    case Verdict::LengthRequired:
        return 411;
    case Verdict::TooLarge:
        return 413;
    case Verdict::HeadTooLarge:
        return 431;
    default:
        return 400;
    }
}

QString HttpRequestHead::reason(Verdict verdict)
{
    switch (verdict) {
    case Verdict::LengthRequired:
        return QStringLiteral("長さのわからない本文は受け付けません");
    case Verdict::TooLarge:
        return QStringLiteral("要求が大きすぎます");
    case Verdict::HeadTooLarge:
        return QStringLiteral("要求のヘッダーが大きすぎます");
    default:
        return QStringLiteral("要求の形が正しくありません");
    }
}
