#pragma once

// The server's request head reader under the fuzzer: the first byte sets a
// piece size, the rest are the bytes of a connection. Read at once and read
// in pieces they get the same verdict and the same head; a complete head
// lies within the bytes and the limits, and a refusal has its status and
// reason.

#include "FuzzBodies.h"
#include "server/http/HttpRequestHead.h"
#include "server/learner/Requests.h"

#include <algorithm>

namespace FuzzBodies
{

inline HttpRequestHead::Verdict readInPieces(HttpRequestHead& head, QByteArrayView bytes,
                                             qsizetype step)
{
    for (qsizetype n = std::min(step, bytes.size());; n = std::min(n + step, bytes.size())) {
        const HttpRequestHead::Verdict v = head.read(bytes.first(n));
        if (v != HttpRequestHead::Verdict::NeedMore || n == bytes.size()) {
            return v;
        }
    }
}

inline void httphead(const QByteArray& input, const QString& /*dir*/)
{
    if (input.isEmpty()) {
        return;
    }
    using Verdict = HttpRequestHead::Verdict;
    const qsizetype step = 1 + static_cast<unsigned char>(input.at(0)) % 64;
    const QByteArray bytes = input.mid(1);
    HttpRequestHead whole(Requests::MaxBody);
    const Verdict verdict = whole.read(bytes);
    HttpRequestHead pieces(Requests::MaxBody);
    FUZZ_CHECK(readInPieces(pieces, bytes, step) == verdict);
    switch (verdict) {
    case Verdict::NeedMore:
        FUZZ_CHECK(bytes.size() < HttpRequestHead::MaxHead);
        break;
    case Verdict::Complete:
        FUZZ_CHECK(whole.headLength() <= bytes.size() &&
                   whole.headLength() <= HttpRequestHead::MaxHead);
        FUZZ_CHECK(whole.bodyLength() >= 0 && whole.bodyLength() <= Requests::MaxBody);
        FUZZ_CHECK(!whole.method().isEmpty() && !whole.target().isEmpty());
        FUZZ_CHECK(pieces.headLength() == whole.headLength() &&
                   pieces.headers() == whole.headers() && pieces.target() == whole.target());
        break;
    default:
        FUZZ_CHECK(HttpRequestHead::status(verdict) >= 400 &&
                   !HttpRequestHead::reason(verdict).isEmpty());
        break;
    }
}

} // namespace FuzzBodies
