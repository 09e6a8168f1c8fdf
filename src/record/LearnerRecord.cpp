#include "record/LearnerRecord.h"

#include <QDateTime>
#include <QDir>

LearnerRecord::LearnerRecord(QString folder, QString learner, QString learnerName)
    : learner_(std::move(learner)), learnerName_(std::move(learnerName)), log_(folder, learner_),
      path_(log_.path())
{
}

qint64 LearnerRecord::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

void LearnerRecord::take(const Answer& answer)
{
    answers_.append(answer);
    schedule_.add(answer);
}

QList<LogFinding> LearnerRecord::refresh()
{
    const LogRead read = log_.read(readUpTo_);
    readUpTo_ = read.end;
    for (const Answer& answer : std::as_const(read.answers)) {
        if (!counted_.remove(answer.id)) {
            take(answer);
        }
    }
    return read.findings;
}

void LearnerRecord::count(const Answer& answer)
{
    counted_.insert(answer.id);
    take(answer);
}

QString LearnerRecord::store(const Answer& answer)
{
    return log_.append(answer);
}

QString LearnerRecord::name() const
{
    return QDir::toNativeSeparators(QDir(log_.folder()).relativeFilePath(path_));
}
