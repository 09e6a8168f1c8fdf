#include "record/LearnerRecord.h"

#include "record/ClassParameters.h"
#include "record/HomePage.h"

#include <QDateTime>
#include <QDir>

LearnerRecord::LearnerRecord(QString folder, QString learner, QString learnerName, LearnerDays days)
    : learner_(std::move(learner)), learnerName_(std::move(learnerName)), log_(folder, learner_),
      path_(log_.path()), homePage_(HomePage::read(folder).url), problems_(folder),
      schedule_(days, ClassParameters::read(folder).parameters)
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
    schedule_.add(answer, now());
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

void LearnerRecord::take(const LogRead& read)
{
    readUpTo_ = read.end;
    for (const Answer& answer : read.answers) {
        if (counted_.erase(answer.id) == 0) {
            take(answer);
        }
    }
    untold_.append(read.findings);
}

void LearnerRecord::readLog()
{
    if (ahead_.valid()) {
        take(ahead_.get());
    }
    take(log_.read(readUpTo_));
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
