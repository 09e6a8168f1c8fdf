#pragma once

#include "record/Progress.h"
#include "server/http/HttpServer.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class Store;
class TextMeasure;

// The learner's 学習の記録 for the page: the desktop's record page worked
// out on the server, from the learner's statements in the store.
namespace ProgressRoute
{

struct Folder {
    QString workDir;
    QString homePage;
    const TextMeasure* measure = nullptr;
};

// GET /api/progress for the session `sessionHash`: 401 when it has ended.
HttpReply reply(Store& store, const QByteArray& sessionHash, const Folder& folder);

// The record of `learner` (a key), as reply() gives it: for their teacher.
HttpReply learnerReply(Store& store, const QString& learner, const Folder& folder);

// The record as the page draws it: the same numbers the desktop's dialog
// shows, its rates already worked out, the charts' descriptions in words.
QJsonObject json(const Progress& progress);

} // namespace ProgressRoute
