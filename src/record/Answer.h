#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

// One answer check of a problem, as one xAPI statement holds it.
struct Answer {
    QString learner;        // the learner's id: actor.account.name
    QString learnerName;    // actor.name (usually equal to learner)
    QString series;         // the series file name as the catalogue names it
    QString problemHash;    // 16 lowercase hex chars
    QString heading;        // object.definition.name {"ja": ...}
    QString question;       // object.definition.description {"ja": ...}
    QStringList terms;      // definition.source
    QStringList groups;     // definition.target
    QList<int> correct;     // 1-based group of each term
    QList<int> placed;      // 1-based group each term was put in
    bool success = false;   // every term right at this check
    int right = 0;          // result.score.raw
    qint64 durationMs = 0;  // from the problem shown to this check
    qint64 timestampMs = 0; // UTC, milliseconds since the epoch
    QUuid id;               // statement id
    int attempt = 1;        // 1 = first check of this showing
    QString problemId() const;
    bool isReview() const { return attempt == 1; } // the first check of a showing is a review
};
