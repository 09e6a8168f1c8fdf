#pragma once

// The server's request reader under the fuzzer: the first byte picks the
// kind of request, the rest is its body. Whatever comes in, the reader
// either refuses it with a reason or returns values inside the ranges the
// server acts on; the origin and cookie checks are fed the same bytes.

#include "FuzzBodies.h"
#include "server/learner/Requests.h"
#include "server/store/CodeAlphabet.h"

#include <cmath>
#include <cstring>

namespace FuzzBodies
{

inline void checkCommand(const Requests::Command& c, Requests::Kind kind)
{
    FUZZ_CHECK(c.kind == kind);
    switch (kind) {
    case Requests::Kind::SignIn:
        FUZZ_CHECK(c.code.size() == SignInCodes::CodeLength);
        for (const QChar ch : c.code) {
            FUZZ_CHECK(ch.unicode() < 128 &&
                       std::strchr(SignInCodes::CodeAlphabet, ch.toLatin1()) != nullptr);
        }
        break;
    case Requests::Kind::Open:
        FUZZ_CHECK(c.entry >= 0 && c.entry <= 51);
        break;
    case Requests::Kind::Move:
        FUZZ_CHECK(c.move.term >= 0 && c.move.term <= 20);
        FUZZ_CHECK(c.move.frame >= -1 && c.move.frame <= 5);
        FUZZ_CHECK(std::isfinite(c.move.left) && std::isfinite(c.move.top));
        FUZZ_CHECK(std::fabs(c.move.left) <= 100000.0F && std::fabs(c.move.top) <= 100000.0F);
        break;
    case Requests::Kind::Press:
        FUZZ_CHECK(static_cast<int>(c.button) >= 0 && static_cast<int>(c.button) <= 9);
        break;
    case Requests::Kind::Carry:
        FUZZ_CHECK(static_cast<int>(c.carry) >= 0 && static_cast<int>(c.carry) <= 7);
        if (c.carry == Requests::Carry::PickUp || c.carry == Requests::Carry::Toggle) {
            FUZZ_CHECK(c.move.term >= 0 && c.move.term <= 20);
        }
        break;
    }
}

inline void requests(const QByteArray& input, const QString& /*dir*/)
{
    if (input.isEmpty()) {
        return;
    }
    const auto kind = static_cast<Requests::Kind>(static_cast<unsigned char>(input.at(0)) % 5);
    const QByteArray body = input.mid(1);
    QString why;
    const std::optional<Requests::Command> command = Requests::parse(kind, body, &why);
    if (command) {
        checkCommand(*command, kind);
    } else {
        FUZZ_CHECK(!why.isEmpty());
    }
    // Host, Origin and Referer from thirds of the body.
    const qsizetype third = body.size() / 3;
    const bool same =
        Requests::sameOrigin(body.left(third), body.mid(third, third), body.mid(2 * third));
    FUZZ_CHECK(!same || !body.left(third).isEmpty());
    const QByteArray id = Requests::sessionCookie(body);
    FUZZ_CHECK(id.isEmpty() || id.size() == 64);
}

} // namespace FuzzBodies
