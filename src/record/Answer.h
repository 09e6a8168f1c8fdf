#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

// Placeholder of the learning record's answer, as agreed; replaced by the
// record's own header when it lands.
struct Answer {
    QString learner;
    QString learnerName;
    QString series;
    QString problemHash;
    QString heading;
    QString question;
    QStringList terms;
    QStringList groups;
    QList<int> correct;
    QList<int> placed;
    bool success = false;
    int right = 0;
    qint64 durationMs = 0;
    qint64 timestampMs = 0;
    QUuid id;
    int attempt = 1;
    QString problemId() const
    {
        return QStringLiteral("urn:velmorant:problem:") + series + QLatin1Char(':') + problemHash;
    }
    bool isReview() const { return attempt == 1; }
};
