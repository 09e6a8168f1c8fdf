#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

// The head of one HTTP/1.x request (request line and header fields), read
// from bytes as they arrive. Bodies come only with a Content-Length: the
// classroom's requests are small JSON, so chunked bodies are refused rather
// than read. Qt Core only, so that the fuzz build takes it as it is.
class HttpRequestHead
{
public:
    // A head that has not ended by then is refused.
    static constexpr qsizetype MaxHead = 16 * 1024;

    // Bodies beyond `maxBody` bytes are refused (TooLarge) from their
    // Content-Length, before any of them is read.
    explicit HttpRequestHead(qint64 maxBody) : maxBody_(maxBody) {}

    enum class Verdict {
        NeedMore,       // no blank line yet
        Complete,       // headLength() bytes of head, then bodyLength() of body
        BadRequest,     // 400: a malformed line or conflicting framing
        LengthRequired, // 411: a Transfer-Encoding without a Content-Length
        TooLarge,       // 413: a Content-Length beyond the largest body
        HeadTooLarge    // 431: MaxHead bytes and no end of the head
    };

    // Reads the request that starts at bytes[0]; `bytes` are all that has
    // arrived of it so far. Called again with more bytes, it goes on from
    // where the last call stopped looking for the end of the head.
    Verdict read(QByteArrayView bytes);
    // Forgets the request, for the next one on the connection.
    void reset() { *this = HttpRequestHead(maxBody_); }

    // The status and Japanese reason for a refusing verdict.
    static int status(Verdict verdict);
    static QString reason(Verdict verdict);

    // After Complete:
    qsizetype headLength() const { return headLength_; }
    qint64 bodyLength() const { return bodyLength_; }
    const QByteArray& method() const { return method_; }
    // As sent: never decoded, so that no escape reaches a file name.
    const QByteArray& target() const { return target_; }
    const QByteArray& version() const { return version_; }
    const QList<QPair<QByteArray, QByteArray>>& headers() const { return headers_; }
    // The first field of that name (any case), or an empty value.
    QByteArray value(QByteArrayView name) const;
    // HTTP/1.1 keeps the connection unless it asks to close; 1.0 closes.
    bool keepAlive() const;

private:
    Verdict parse(QByteArrayView head);
    bool parseRequestLine(QByteArrayView line);
    bool parseField(QByteArrayView line);
    Verdict framing();

    qint64 maxBody_ = 0;
    qsizetype scanned_ = 0;
    qsizetype headLength_ = 0;
    qint64 bodyLength_ = 0;
    QByteArray method_;
    QByteArray target_;
    QByteArray version_;
    QList<QPair<QByteArray, QByteArray>> headers_;
};
