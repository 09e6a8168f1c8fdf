#pragma once

#include "server/http/HttpServer.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>

class TextMeasure;
namespace SeriesParser
{
struct Result;
}

// The teacher's editor on the server: a series' text read into problems and
// written back with the program's own reader and writer, and the board of
// the problem being written, as learners will see it, for the teacher to try
// in the learner's own page.
class TeacherPreviews
{
public:
    TeacherPreviews(QString workDir, const TextMeasure& measure);
    ~TeacherPreviews();
    TeacherPreviews(const TeacherPreviews&) = delete;
    TeacherPreviews& operator=(const TeacherPreviews&) = delete;

    // The editor's requests of the signed-in teacher session `session`, as
    // the teacher's route table names them. The learner's own page, drawing
    // the preview board in the editor's frame.
    static HttpReply page();
    // A series' text read into the problems the form shows.
    static HttpReply parse(const QByteArray& body);
    // The form's problems written back into text, with the board of the
    // problem being written.
    HttpReply compose(const QByteArray& body, const QByteArray& session);
    // The board of problem `problem` of a text.
    HttpReply preview(const QByteArray& body, const QByteArray& session);
    // The learner page's requests on the preview board (VerbProtocol).
    HttpReply verb(QStringView verb, const HttpRequest& request, const QByteArray& session);
    // The session has signed out: its preview goes.
    void drop(const QByteArray& session);

    // Previews kept, and how long one is kept without a request.
    static constexpr int MaxPreviews = 20;
    static constexpr qint64 IdleMs = 30 * 60 * 1000;

private:
    struct Preview;
    std::shared_ptr<Preview> boardOf(const QByteArray& session, bool make);
    HttpReply previewOne(const QJsonObject& in, const QByteArray& session);
    HttpReply composeAndPreview(const QJsonObject& in, const QByteArray& session);
    std::optional<QJsonObject> previewOf(const SeriesParser::Result& read, const QStringList& lines,
                                         int i, const QByteArray& session);

    QString workDir_;
    const TextMeasure& measure_;
    std::mutex mutex_;
    QHash<QByteArray, std::shared_ptr<Preview>> previews_;
};
