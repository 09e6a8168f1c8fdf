#pragma once

#include "server/http/HttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>

// The JSON answers both the learners' and the teacher's requests get, and
// the cookies that hold their sessions.
namespace ServerReplies
{

inline HttpReply json(int status, const QJsonObject& body)
{
    HttpReply r;
    r.status = status;
    r.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return r;
}

// A body already written as JSON.
inline HttpReply jsonText(int status, QByteArray body)
{
    HttpReply r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

inline HttpReply refusal(int status, const QString& reason)
{
    return json(status, {{QStringLiteral("error"), reason}});
}

// The store is down for now: the client may try again in a moment.
inline HttpReply unavailable(const QString& reason)
{
    HttpReply r = refusal(503, reason);
    r.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("2")));
    return r;
}

// No reply now: it is given later, from elsewhere (a worker, a timer).
inline HttpReply pending()
{
    return HttpReply{0, {}, {}, {}, {}};
}

// A Set-Cookie header for the cookie `name`; an empty id ends it. It
// outlives the browser for `maxAgeSeconds` (a teacher's session, a device),
// or with 0 goes when the browser closes (a learner's session).
inline QPair<QByteArray, QByteArray> cookie(const char* name, const QByteArray& id,
                                            qint64 maxAgeSeconds, bool secure)
{
    QByteArray c = QByteArray(name) + '=' + id + "; Path=/; HttpOnly; SameSite=Strict";
    if (id.isEmpty()) {
        c += "; Max-Age=0";
    } else if (maxAgeSeconds > 0) {
        c += "; Max-Age=" + QByteArray::number(maxAgeSeconds);
    }
    if (secure) {
        c += "; Secure";
    }
    return qMakePair(QByteArray("Set-Cookie"), c);
}

} // namespace ServerReplies
