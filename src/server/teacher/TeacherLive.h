#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <mutex>
#include <optional>

class Store;

// The teacher's live page: who is signed in now and on what, and the
// latest answers. Polled every second, so each poll costs two small reads;
// the answers are read again only when the statements change.
class TeacherLive
{
public:
    explicit TeacherLive(QString workDir) : workDir_(std::move(workDir)) {}

    // The page's poll; a learner's session lasts `signOutAfterMs` past their
    // latest action. Nothing when the store cannot be read.
    std::optional<QJsonObject> poll(Store& store, qint64 signOutAfterMs);

private:
    QJsonArray latestAnswers(Store& store, const QString& state,
                             const QHash<QString, QString>& titles);

    QString workDir_;
    std::mutex mutex_;
    QString answersFor_;
    QJsonArray answers_;
};
