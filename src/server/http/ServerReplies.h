#pragma once

#include "server/HttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>

// The JSON answers both the learners' and the teacher's requests get.
namespace ServerReplies
{

inline HttpReply json(int status, const QJsonObject& body)
{
    HttpReply r;
    r.status = status;
    r.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
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

} // namespace ServerReplies
