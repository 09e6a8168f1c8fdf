#pragma once

#include "record/AnswerLog.h"
#include "record/AnswerStore.h"
#include "record/Schedule.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>

// One learner's record in one work folder: the answers their log holds and
// the review schedule those make.
class LearnerRecord : public AnswerStore
{
public:
    LearnerRecord(QString folder, QString learner, QString learnerName,
                  LearnerDays days = LearnerDays());

    const QString& learner() const override { return learner_; }
    const QString& learnerName() const override { return learnerName_; }
    const QString& path() const { return path_; }
    const QList<Answer>& answers() const override { return answers_; }
    const Schedule& schedule() const override { return schedule_; }
    QString name() const override;

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
    void take(const Answer& answer);
    void readLog();

    QString learner_;
    QString learnerName_;
    AnswerLog log_;
    QString path_;
    QList<Answer> answers_;
    Schedule schedule_;
    qint64 readUpTo_ = 0;
    // Answers counted before they reached the file: not counted again when
    // the file is read.
    QSet<QUuid> counted_;
    QList<LogFinding> untold_;
};
