#pragma once

#include "server/store/Store.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <mutex>
#include <optional>

class LearnerRoutes;

// The class's learners as the teacher's page changes them: a learner added
// or given a new code, removed, or signed out everywhere; and the codes made
// in each teacher session, for its printed sheet. The codes are never
// stored, as only their hashes are. Whatever it changes, the learners'
// sessions in memory follow.
class ClassLearners
{
public:
    explicit ClassLearners(LearnerRoutes& learners) : learners_(learners) {}

    // A new learner with a new code, or a learner's new code: the code, or
    // why not (the name is taken, unknown, or the store failed).
    struct Made {
        QString code;
        QString failed;
    };
    Made add(Store& store, const QString& className, const QString& name,
             const QByteArray& teacherSession);
    Made newCode(Store& store, const Store::Learner& learner, const QByteArray& teacherSession);
    // "" or why not.
    QString remove(Store& store, const QString& key);
    // Every session of the learner ends, on whichever device and server:
    // how many, or none when the store failed.
    std::optional<int> signOut(Store& store, const QString& key);

    // A code made in a teacher session.
    struct Card {
        QString className;
        QString name;
        QString code;
    };
    // The codes made in a teacher session, in order.
    QList<Card> made(const QByteArray& teacherSession);
    // The teacher session has ended: its codes go.
    void forget(const QByteArray& teacherSession);

private:
    void keep(const QByteArray& teacherSession, Card card);

    LearnerRoutes& learners_;
    std::mutex mutex_;
    QHash<QByteArray, QList<Card>> made_;
};
