#pragma once

#include "series/Finding.h"
#include "server/HttpServer.h"

#include <QJsonArray>
#include <QString>

#include <optional>

class ClassHistories;
class Store;

// The teacher's requests on the folder's series: the catalogue and its
// files, uploads and downloads, a file's text and its saving. Reached only
// after the teacher's session and origin have been checked.
namespace SeriesRoutes
{

QJsonArray findingsJson(const Findings& findings);
// The catalogue (its own findings first) and each series it lists, with
// what the reader finds in it and the learners' histories its changes have
// ended (from `store`'s answers), its encoding and its version.
QJsonArray listJson(const QString& workDir, Store& store, ClassHistories& histories);

// The answer to a series request; nothing when `path` is none of them.
std::optional<HttpReply> answer(const QString& workDir, const QString& path,
                                const HttpRequest& request, Store& store,
                                ClassHistories& histories);

} // namespace SeriesRoutes
