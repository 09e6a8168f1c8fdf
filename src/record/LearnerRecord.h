#pragma once

#include "record/AnswerLog.h"
#include "record/ProblemIndex.h"
#include "record/Schedule.h"
#include "record/StatementIds.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <future>

// One learner's record in one work folder: the answers their log holds (old
// problem ids named as the folder's series name the problems now), the
// review schedule those make, and answers whose write failed, kept and
// written again before the next one so that none is lost.
class LearnerRecord
{
public:
    LearnerRecord(QString folder, QString learner, QString learnerName);

    const QString& learner() const { return learner_; }
    const QString& learnerName() const { return learnerName_; }
    const QString& path() const { return path_; }
    // actor.account.homePage of the answers written (HomePage).
    const QString& homePage() const { return homePage_; }
    const QList<Answer>& answers() const { return answers_; }
    const Schedule& schedule() const { return schedule_; }

    // Starts reading the log on a thread of its own, so that a window need
    // not wait for a year of answers; `done` runs on that thread once the
    // log is read. The next refresh() takes what it read, waiting if need be.
    void readAhead(std::function<void()> done);
    // No read started by readAhead() is still going.
    bool readAheadDone() const;
    // Takes in what the log gained since it was last read, by this copy of
    // the program or another; returns the lines it could not use.
    QList<LogFinding> refresh();
    // Logs an answer. Returns "" once it is in the file, else why not: it
    // then counts all the same and is written with the next one.
    QString add(const Answer& answer);
    // Writes the answers whose write failed; "" once none is left.
    QString flush();
    qsizetype unsaved() const { return unsaved_.size(); }

    // Milliseconds since 1970 UTC: the system clock unless a test sets one.
    std::function<qint64()> clock;
    qint64 now() const;

private:
    void take(Answer answer);
    QList<LogFinding> take(const LogRead& read);

    QString learner_;
    QString learnerName_;
    AnswerLog log_;
    QString path_;
    QString homePage_;
    ProblemIndex problems_;
    QList<Answer> answers_;
    Schedule schedule_;
    qint64 readUpTo_ = 0;
    QList<Answer> unsaved_;
    // Answers counted before they reached the file: not counted again when
    // the file is read.
    StatementIdSet counted_;
    std::future<LogRead> ahead_;
};
