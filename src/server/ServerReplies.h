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

} // namespace ServerReplies
