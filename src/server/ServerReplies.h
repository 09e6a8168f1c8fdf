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

} // namespace ServerReplies
