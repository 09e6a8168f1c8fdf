#pragma once

#include "server/store/Store.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <mutex>
#include <optional>

// The teacher's live page: who is signed in now and on what, and the
// latest answers. Polled every second, so each poll costs two small reads;
// the answers are read again only when the statements change.
class TeacherLive
{
public:
    explicit TeacherLive(QString workDir) : workDir_(std::move(workDir)) {}

    // The page's poll, of `learners` alone (those of the classes the
    // teacher chose, in the school's order), each named as shown with their
    // class's id; a learner's session lasts `signOutAfterMs` past their
    // latest action. Nothing when the store cannot be read.
    std::optional<QJsonObject> poll(Store& store, qint64 signOutAfterMs,
                                    const QList<Store::Learner>& learners);

private:
    QJsonArray latestAnswers(Store& store, const QString& state,
                             const QHash<QString, QString>& titles,
                             const QHash<QString, Store::Learner>& learners);

    QString workDir_;
    std::mutex mutex_;
    QString answersFor_; // the statements' state and the learners
    QJsonArray answers_;
};
