#include "record/LearnerRecord.h"

#include <QDateTime>

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

QString LearnerRecord::add(const Answer& answer)
{
    unsaved_.append(answer);
    return flush();
}

QString LearnerRecord::flush()
{
    // What other copies wrote comes first, as it does in the file.
    readLog();
    while (!unsaved_.isEmpty()) {
        if (QString failure = log_.append(unsaved_.first()); !failure.isEmpty()) {
            // Counted now all the same, and not again once the file has them.
            for (const Answer& a : std::as_const(unsaved_)) {
                if (!counted_.contains(a.id)) {
                    counted_.insert(a.id);
                    take(a);
                }
            }
            return failure;
        }
        unsaved_.removeFirst();
    }
    readLog();
    return {};
}

QString LearnerRecord::newlySetAside()
{
    const int count = schedule_.setAside();
    if (count <= toldSetAside_) {
        return {};
    }
    toldSetAside_ = count;
    return schedule_.setAsideNote();
}
