#include "record/LearnerRecord.h"

#include "record/HomePage.h"

#include <QDateTime>

LearnerRecord::LearnerRecord(QString folder, QString learner, QString learnerName)
    : learner_(std::move(learner)), learnerName_(std::move(learnerName)), log_(folder, learner_),
      path_(log_.path()), homePage_(HomePage::read(folder).url), problems_(folder)
{
}

qint64 LearnerRecord::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

void LearnerRecord::take(Answer answer)
{
    problems_.update(answer);
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

QString LearnerRecord::add(const Answer& answer)
{
    unsaved_.append(answer);
    counted_.insert(answer.id);
    take(answer);
    return flush();
}

QString LearnerRecord::flush()
{
    while (!unsaved_.isEmpty()) {
        if (QString failure = log_.append(unsaved_.first()); !failure.isEmpty()) {
            return failure;
        }
        unsaved_.removeFirst();
    }
    refresh();
    return {};
}
