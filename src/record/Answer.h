#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

// One check of a problem's answer by a learner: what the learning record
// keeps of it, as one xAPI statement (see Statements).
struct Answer {
    QString learner;        // the learner's id: actor.account.name
    QString learnerName;    // actor.name (usually equal to learner)
    QString homePage;       // actor.account.homePage; empty: the default
    QString series;         // the series file name as the catalogue names it
    QString problemHash;    // the problem's key in its series (see ProblemIds)
    QString heading;        // object.definition.name {"ja": ...}
    QString question;       // object.definition.description {"ja": ...}
    QStringList terms;      // definition.source: ids "1".."n"
    QStringList groups;     // definition.target: ids "1".."m"
    QList<int> correct;     // 1-based group of each term (correctResponsesPattern)
    QList<int> placed;      // 1-based group each term was put in (result.response)
    bool success = false;   // every term right at this check
    int right = 0;          // result.score.raw; score.max is terms.size()
    qint64 durationMs = 0;  // from the problem shown to this check
    qint64 timestampMs = 0; // of the check, since the epoch, UTC
    QUuid id;               // the statement's id
    int attempt = 1;        // 1 = the first check of this showing of the problem
    QString registration;   // context.registration: the class round it was given in

    // The problem's IRI (ProblemIds::iri).
    QString problemId() const;
    // The first check of a showing says what the learner remembered.
    bool isReview() const { return attempt == 1; }

    friend bool operator==(const Answer&, const Answer&) = default;
};
// Moved in memory as a whole when a list of a year's answers grows.
Q_DECLARE_TYPEINFO(Answer, Q_RELOCATABLE_TYPE);
