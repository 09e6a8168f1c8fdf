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

// The store failed for now: the client may try again in a moment. The
// store's place and its error stay in the log.
inline ClassroomServer::Reply storeDown()
{
    ClassroomServer::Reply r = refusal(
        503, QStringLiteral("記録を読み書きできません。しばらくしてからもう一度試してください"));
    r.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("2")));
    return r;
}

} // namespace ServerReplies
