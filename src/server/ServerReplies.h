#pragma once

#include "server/ClassroomServer.h"

#include <QJsonDocument>
#include <QJsonObject>

// The JSON answers both the learners' and the teacher's requests get.
namespace ServerReplies
{

inline ClassroomServer::Reply json(int status, const QJsonObject& body)
{
    ClassroomServer::Reply r;
    r.status = status;
    r.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return r;
}

inline ClassroomServer::Reply refusal(int status, const QString& reason)
{
    return json(status, {{QStringLiteral("error"), reason}});
}

// The store is down for now: the client may try again in a moment.
inline ClassroomServer::Reply unavailable(const QString& reason)
{
    ClassroomServer::Reply r = refusal(503, reason);
    r.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("2")));
    return r;
}

} // namespace ServerReplies
