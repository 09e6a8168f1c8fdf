#pragma once

#include "series/Finding.h"
#include "server/http/HttpServer.h"

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

// The series' requests, as the teacher's route table names them:
// GET /api/teacher/series, the list;
HttpReply listReply(const QString& workDir, Store& store, ClassHistories& histories);
// GET /api/teacher/series/text?file=…, a file's text for the editor, and
// GET /teacher/series/download?file=…, the file as it is;
HttpReply textReply(const QString& workDir, const HttpRequest& request);
HttpReply downloadReply(const QString& workDir, const HttpRequest& request);
// POST /api/teacher/series/<change>: new, rename, move, remove, upload,
// save, and the histories a save would end.
HttpReply changeReply(const QString& workDir, const QString& path, const QByteArray& body,
                      Store& store, ClassHistories& histories);

} // namespace SeriesRoutes
