#pragma once

#include "record/Answer.h"
#include "record/AnswerLog.h"
#include "record/Schedule.h"

#include <QList>
#include <QString>

// Where one learner's answers are kept: the desktop's answer log, or the
// classroom server's store. An answer counts at once (in the schedule and
// the progress) and is then stored; keeping one that could not be stored,
// and trying it again, is the session's, so it holds the same everywhere.
class AnswerStore
{
public:
    virtual ~AnswerStore() = default;

    virtual const QString& learner() const = 0;
    virtual const QString& learnerName() const = 0;
    // actor.account.homePage of the answers stored.
    virtual const QString& homePage() const = 0;
    // Milliseconds since 1970 UTC.
    virtual qint64 now() const = 0;

    // Counts an answer before it is stored.
    virtual void count(const Answer& answer) = 0;
    // Stores an answer counted before: "" once it is kept, else why not,
    // in Japanese, with nothing of it stored.
    virtual QString store(const Answer& answer) = 0;
    // Takes in what was stored since, by another copy of the program or
    // another server; returns what could not be used.
    virtual QList<LogFinding> refresh() = 0;

    virtual const Schedule& schedule() const = 0;
    virtual const QList<Answer>& answers() const = 0;
    // The record's name as the learner is told it.
    virtual QString name() const = 0;
    // Whether what was stored before has been read in yet.
    virtual bool readAheadDone() const { return true; }

    // The schedule's note on answers set aside, when it says more than the
    // last one this returned; else "".
    QString newlySetAside()
    {
        const int count = schedule().setAside();
        if (count <= toldSetAside_) {
            return {};
        }
        toldSetAside_ = count;
        return schedule().setAsideNote();
    }

private:
    int toldSetAside_ = 0;
};
