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

void LearnerRecord::readAhead(std::function<void()> done)
{
    ahead_ = std::async(std::launch::async, [log = log_, from = readUpTo_, done = std::move(done)] {
        LogRead read = log.read(from);
        if (done) {
            done();
        }
        return read;
    });
}

bool LearnerRecord::readAheadDone() const
{
    return !ahead_.valid() || ahead_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

QList<LogFinding> LearnerRecord::take(const LogRead& read)
{
    readUpTo_ = read.end;
    for (const Answer& answer : read.answers) {
        if (counted_.erase(answer.id) == 0) {
            take(answer);
        }
    }
    return read.findings;
}

QList<LogFinding> LearnerRecord::refresh()
{
    QList<LogFinding> findings = ahead_.valid() ? take(ahead_.get()) : QList<LogFinding>();
    findings += take(log_.read(readUpTo_));
    return findings;
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
