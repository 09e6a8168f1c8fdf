#include "record/EndedHistories.h"

#include "record/ProblemId.h"
#include "record/ProblemIndex.h"

#include <QMap>

#include <algorithm>

namespace EndedHistories
{

namespace
{

// The line of the problem now under `heading` in a series, 0 when none.
int lineOfHeading(const QList<Problem>& problems, const QString& heading)
{
    for (const Problem& p : problems) {
        if (p.heading == heading) {
            return std::max(p.lines.heading, 1);
        }
    }
    return 0;
}

} // namespace

QList<Answered> of(QList<Answer> answers, ProblemIndex& index)
{
    QMap<QString, QMap<QString, Answered>> found; // series file -> key -> ...
    for (Answer& a : answers) {
        index.update(a);
        Answered& e = found[a.series][a.problemHash];
        e.series = a.series;
        e.key = a.problemHash;
        e.heading = a.heading;
        e.learners.insert(a.learner);
    }
    QList<Answered> out;
    for (const QMap<QString, Answered>& series : std::as_const(found)) {
        out += series.values();
    }
    return out;
}

bool holds(const QList<Problem>& problems, const QString& key)
{
    if (ProblemIds::isTextHash(key)) {
        return std::any_of(problems.begin(), problems.end(),
                           [&key](const Problem& p) { return ProblemIds::textHash(p) == key; });
    }
    return ProblemIds::keysOf(problems).contains(key);
}

Findings warnings(const QList<Answered>& answered, const QString& series, const QList<Problem>& now)
{
    const QStringList keys = ProblemIds::keysOf(now);
    Findings out;
    for (const Answered& e : answered) {
        const bool held = ProblemIds::isTextHash(e.key) ? holds(now, e.key) : keys.contains(e.key);
        if (e.series != series || held) {
            continue;
        }
        const int line = lineOfHeading(now, e.heading);
        const QString learners = QString::number(e.learners.size());
        out.append({line, Finding::Kind::Warning,
                    line > 0 ? QStringLiteral("「%1」の項目・分類群・正解が、学習者が答えたときから"
                                              "変わっています。新しい問題として始まり、学習者%2人の"
                                              "これまでの記録（復習の予定）はここで終わります")
                                   .arg(e.heading, learners)
                             : QStringLiteral("学習者%2人が答えた問題「%1」は、もうこのファイルに"
                                              "ありません。%2人のこの問題の記録はここで終わります")
                                   .arg(e.heading, learners)});
    }
    return out;
}

Findings endedBy(const QList<Answered>& answered, const QString& series,
                 const QList<Problem>& before, const QList<Problem>& after)
{
    QList<Answered> held;
    for (const Answered& e : answered) {
        if (e.series == series && holds(before, e.key)) {
            held.append(e);
        }
    }
    return warnings(held, series, after);
}

} // namespace EndedHistories
