#pragma once

#include "record/AnswerLog.h"
#include "record/AnswerStore.h"
#include "record/ProblemIndex.h"
#include "record/Schedule.h"
#include "record/StatementIds.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <future>

// One learner's record in one work folder: the answers their log holds (old
// problem ids named as the folder's series name the problems now) and the
// review schedule those make.
class LearnerRecord : public AnswerStore
{
public:
    LearnerRecord(QString folder, QString learner, QString learnerName,
                  LearnerDays days = LearnerDays());

    const QString& learner() const override { return learner_; }
    const QString& learnerName() const override { return learnerName_; }
    const QString& path() const { return path_; }
    // actor.account.homePage of the answers written (HomePage).
    const QString& homePage() const override { return homePage_; }
    const QList<Answer>& answers() const override { return answers_; }
    const Schedule& schedule() const override { return schedule_; }
    QString name() const override;

    // Starts reading the log on a thread of its own, so that a window need
    // not wait for a year of answers; `done` runs on that thread once the
    // log is read. The next refresh() takes what it read, waiting if need be.
    void readAhead(std::function<void()> done);
    // No read started by readAhead() is still going.
    bool readAheadDone() const override;
    // Takes in what the log gained since it was last read, by this copy of
    // the program or another; returns the lines it could not use, each once.
    QList<LogFinding> refresh() override;
    // Counts an answer after what other copies added, as the file will
    // hold them.
    void count(const Answer& answer) override;
    // Appends the answer to the log, synced.
    QString store(const Answer& answer) override;

    // Milliseconds since 1970 UTC: the system clock unless a test sets one.
    std::function<qint64()> clock;
    qint64 now() const override;

private:
    void take(Answer answer);
    void take(const LogRead& read);
    void readLog();

    QString learner_;
    QString learnerName_;
    AnswerLog log_;
    QString path_;
    QString homePage_;
    ProblemIndex problems_;
    QList<Answer> answers_;
    Schedule schedule_;
    qint64 readUpTo_ = 0;
    // Answers counted before they reached the file: not counted again when
    // the file is read.
    StatementIdSet counted_;
    QList<LogFinding> untold_;
    std::future<LogRead> ahead_;
};
