// The request head's verdicts where the attack list cannot reach them: a
// head that arrives a byte at a time, and the exact edges of the limits.
#include "server/http/HttpRequestHead.h"
#include "server/learner/Requests.h"

#include <gtest/gtest.h>

namespace
{

using Verdict = HttpRequestHead::Verdict;

// The verdict on `bytes` read at once, which reading them a byte at a
// time must reach as well, and the head's length and its body's.
struct Read {
    Verdict verdict;
    qsizetype headLength = 0;
    qint64 bodyLength = 0;
};

Read readBoth(const QByteArray& bytes)
{
    HttpRequestHead whole(Requests::MaxBody);
    const Verdict verdict = whole.read(bytes);
    HttpRequestHead pieces(Requests::MaxBody);
    Verdict last = Verdict::NeedMore;
    for (qsizetype n = 1; n <= bytes.size() && last == Verdict::NeedMore; ++n) {
        last = pieces.read(QByteArrayView(bytes).first(n));
    }
    EXPECT_EQ(last, verdict) << bytes.left(200).toStdString();
    EXPECT_EQ(pieces.headLength(), whole.headLength());
    return {verdict, whole.headLength(), whole.bodyLength()};
}

QByteArray filler(qsizetype size)
{
    return "X-Filler: " + QByteArray(size - 12, 'a') + "\r\n";
}

TEST(HttpRequestHead, ReadsTheSameInPiecesAndStopsAtTheLimits)
{
    const QByteArray line = "POST /api/move?x=%2e HTTP/1.1\r\nHost: h\r\n";
    const Read ok = readBoth(line + "content-length: 7\r\n\r\n{\"a\":1}GET / HTTP/1.1\r\n");
    EXPECT_EQ(ok.verdict, Verdict::Complete);
    EXPECT_EQ(ok.headLength, line.size() + 21);
    EXPECT_EQ(ok.bodyLength, 7);
    EXPECT_EQ(readBoth("GET / HTTP/1.0\nHost: h\n\n").verdict, Verdict::Complete);

    // A head of exactly 16 KB is read; one byte more is refused.
    const QByteArray edge = line + filler(HttpRequestHead::MaxHead - line.size() - 2) + "\r\n";
    ASSERT_EQ(edge.size(), HttpRequestHead::MaxHead);
    EXPECT_EQ(readBoth(edge).verdict, Verdict::Complete);
    EXPECT_EQ(readBoth(line + filler(HttpRequestHead::MaxHead - line.size() - 1) + "\r\n").verdict,
              Verdict::HeadTooLarge);
    const QByteArray most = QByteArray::number(Requests::MaxBody);
    EXPECT_EQ(readBoth(line + "Content-Length: " + most + "\r\n\r\n").verdict, Verdict::Complete);
    EXPECT_EQ(
        readBoth(line + "Content-Length: " + QByteArray::number(Requests::MaxBody + 1) + "\r\n\r\n")
            .verdict,
        Verdict::TooLarge);
    EXPECT_EQ(readBoth(line + "Content-Length: 99999999999999999999999\r\n\r\n").verdict,
              Verdict::TooLarge);

    for (const char* bad : {"Content-Length: 1,1\r\n", "Content-Length: +1\r\n",
                            "Content-Length : 1\r\n", "X-A: 1\r\n folded\r\n", "X-A: \x01\r\n",
                            "Transfer-Encoding: chunked\r\nContent-Length: 1\r\n"}) {
        EXPECT_EQ(readBoth(line + bad + "\r\n").verdict, Verdict::BadRequest) << bad;
    }
    for (const char* bad : {"GET  / HTTP/1.1\r\n\r\n", "GET / HTTP/2.0\r\n\r\n",
                            "GET /\xc3\xa9 HTTP/1.1\r\n\r\n", "\r\nGET / HTTP/1.1\r\n\r\n"}) {
        EXPECT_EQ(readBoth(bad).verdict, Verdict::BadRequest) << bad;
    }
}

} // namespace
