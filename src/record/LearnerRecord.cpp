#include "record/LearnerRecord.h"

#include <QDateTime>
#include <QDir>

LearnerRecord::LearnerRecord(QString folder, QString learner, QString learnerName, LearnerDays days)
    : learner_(std::move(learner)), learnerName_(std::move(learnerName)), log_(folder, learner_),
      path_(log_.path()), schedule_(days)
{
}

qint64 LearnerRecord::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

void LearnerRecord::take(const Answer& answer)
{
    answers_.append(answer);
    schedule_.add(answer, now());
}

void LearnerRecord::readLog()
{
    const LogRead read = log_.read(readUpTo_);
    readUpTo_ = read.end;
    for (const Answer& answer : std::as_const(read.answers)) {
        if (!counted_.remove(answer.id)) {
            take(answer);
        }
    }
    untold_.append(read.findings);
}

QList<LogFinding> LearnerRecord::refresh()
{
    readLog();
    return std::exchange(untold_, {});
}

void LearnerRecord::count(const Answer& answer)
{
    // What other copies wrote comes first, as it does in the file.
    readLog();
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

