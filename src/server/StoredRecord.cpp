#include "server/StoredRecord.h"

#include "server/Store.h"
#include "marks/MarksFile.h"
#include "record/Answer.h"
#include "record/ProblemId.h"
#include "record/ProblemIndex.h"
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
std::optional<Problem> amongMarks(Store& store, const QString& learner, const QString& key)
{
    for (const Store::Mark& m : store.marks(learner)) {
        Problem p = Problems::fromRecord(m.record);
        if (key.startsWith(ProblemIds::asked(p) + QLatin1Char('-'))) {
            return p;
        }
    }
    return std::nullopt;
}

} // namespace

QString append(Store& store, ProblemIndex& problems, const QString& homePage,
               const QString& learner, const LearnerScreen::Checked& checked)
{
    const Problem& p = checked.problem;
    Answer a;
    a.learner = learner;
    a.learnerName = learner;
    a.homePage = homePage;
    a.series = checked.series;
    a.problemHash = problems.keyOf(checked.series, p);
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
        if (std::optional<Answer> a = Statements::parse(line, &why)) {
            problems.update(*a);
            schedule.add(*a);
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
