#include "server/StoredRecord.h"

#include "server/Store.h"
#include "marks/MarksFile.h"
#include "record/Answer.h"
#include "record/Schedule.h"
#include "record/Statements.h"

#include <QDateTime>
#include <QUuid>

namespace StoredRecord
{

namespace
{

// A problem answered in the marked series whose text no series holds any
// more is still among the learner's marks.
std::optional<Problem> amongMarks(Store& store, const QString& learner, const QString& hash)
{
    for (const Store::Mark& m : store.marks(learner)) {
        Problem p = Problems::fromRecord(m.record);
        if (Statements::problemHash(p) == hash) {
            return p;
        }
    }
    return std::nullopt;
}

} // namespace

QString append(Store& store, const QString& learner, const LearnerScreen::Checked& checked)
{
    const Problem& p = checked.problem;
    Answer a;
    a.learner = learner;
    a.learnerName = learner;
    a.series = checked.series;
    a.problemHash = Statements::problemHash(p);
    a.heading = p.heading;
    a.question = p.question;
    a.terms = p.terms.mid(0, checked.correct.size());
    a.groups = p.groups.mid(0, checked.frames);
    a.correct = checked.correct;
    a.placed = checked.placed;
    a.right = checked.right;
    a.success = checked.right == checked.correct.size();
    a.durationMs = checked.durationMs;
    a.timestampMs = QDateTime::currentMSecsSinceEpoch();
    a.id = QUuid::createUuid();
    a.attempt = checked.attempt;
    return store.appendStatement(learner, a.id.toString(QUuid::WithoutBraces), a.problemId(),
                                 a.timestampMs, Statements::line(a));
}

QList<ReviewProblem> due(Store& store, const QString& learner, ProblemIndex& problems, qint64 nowMs)
{
    Schedule schedule;
    for (const QByteArray& line : store.statements(learner)) {
        QString why;
        if (const std::optional<Answer> a = Statements::parse(line, &why)) {
            schedule.add(*a, nowMs);
        }
    }
    QList<ReviewProblem> found;
    for (const ScheduledProblem& d : schedule.dueBy(nowMs)) {
        if (found.size() == Recording::MaxReview) {
            break;
        }
        std::optional<Problem> problem =
            d.series == QLatin1String(MarksFile::FileName)
                ? amongMarks(store, learner, d.problemHash)
                : problems.find(d.series, d.problemHash);
        if (problem) {
            found.append({d.series, std::move(*problem)});
        }
    }
    return found;
}

} // namespace StoredRecord
