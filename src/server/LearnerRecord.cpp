#include "server/LearnerRecord.h"

#include "server/Store.h"
#include "files/FileLookup.h"
#include "record/Answer.h"
#include "record/Schedule.h"
#include "record/Statements.h"
#include "series/SeriesLoader.h"

#include <QDateTime>
#include <QHash>
#include <QUuid>

namespace LearnerRecord
{

namespace
{

constexpr qsizetype MostDue = 50;

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
    a.groups = p.groups;
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

QList<LearnerScreen::SourcedProblem> due(Store& store, const QString& learner,
                                         const QString& workDir, qint64 nowMs)
{
    Schedule schedule;
    for (const QByteArray& line : store.statements(learner)) {
        QString why;
        if (const std::optional<Answer> a = Statements::parse(line, &why)) {
            schedule.add(*a);
        }
    }
    QList<LearnerScreen::SourcedProblem> found;
    // Each series file read once, its problems by hash.
    QHash<QString, QHash<QString, Problem>> bySeries;
    for (const ScheduledProblem& d : schedule.dueBy(nowMs)) {
        if (found.size() == MostDue) {
            break;
        }
        if (!bySeries.contains(d.series)) {
            QHash<QString, Problem>& problems = bySeries[d.series];
            const SeriesLoader::Series series =
                SeriesLoader::load(FileLookup::resolve(workDir, d.series));
            for (const Problem& p : series.usable) {
                problems.insert(Statements::problemHash(p), p);
            }
        }
        const auto& problems = bySeries.value(d.series);
        if (const auto at = problems.constFind(d.problemHash); at != problems.cend()) {
            found.append({*at, d.series});
        }
    }
    return found;
}

} // namespace LearnerRecord
