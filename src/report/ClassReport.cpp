#include "report/ClassReport.h"

#include "report/LocalTime.h"

#include <QCollator>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <tuple>

namespace ClassReport
{

namespace
{

QString problemKey(const QString& series, const QString& hash)
{
    return series + QLatin1Char('\n') + hash;
}

// Headings in the order a reader expects: "問10" after "問9".
QCollator headingOrder()
{
    QCollator collator{QLocale(QLocale::Japanese, QLocale::Japan)};
    collator.setNumericMode(true);
    return collator;
}

// One learner's checks of one problem, folded in as they come.
struct Fold {
    LearnerProblem row;
    qint64 firstMs = 0;
    qint64 showingMs = 0; // the current showing's last check's duration
};

void fold(Fold& f, const Answer& a)
{
    LearnerProblem& row = f.row;
    // The earliest check decides the first answer, the latest the last;
    // ties keep file order.
    if (row.checks == 0 || a.timestampMs < f.firstMs) {
        f.firstMs = a.timestampMs;
        row.firstRight = a.success;
    }
    if (row.checks == 0 || a.timestampMs >= row.lastAnsweredMs) {
        row.lastAnsweredMs = a.timestampMs;
        row.lastRight = a.success;
    }
    row.checks += 1;
    row.showings += a.isReview() ? 1 : 0;
    // A check's duration runs from the problem shown: a later check of the
    // same showing includes the earlier ones.
    row.timeSpentMs += a.durationMs - (a.isReview() ? 0 : f.showingMs);
    f.showingMs = a.durationMs;
}

// Small numbers for the learners and the problems met, so that the counts
// of a year of a class (some 300,000 answers) are keyed by integers. Answers
// come log by log: the last one looked up is kept at hand.
class Numbering
{
public:
    int learner(const QString& learner)
    {
        if (lastLearnerNo_ < 0 || learner != lastLearner_) {
            lastLearner_ = learner;
            const auto found = learners_.constFind(learner);
            lastLearnerNo_ = found != learners_.constEnd()
                                 ? *found
                                 : (learners_[learner] = int(learners_.size()));
        }
        return lastLearnerNo_;
    }
    int problem(const Answer& a)
    {
        if (lastProblemNo_ < 0 || a.problemHash != lastHash_ || a.series != lastSeries_) {
            lastSeries_ = a.series;
            lastHash_ = a.problemHash;
            QHash<QString, int>& inSeries = problems_[a.series];
            const auto found = inSeries.constFind(a.problemHash);
            lastProblemNo_ =
                found != inSeries.constEnd() ? *found : (inSeries[a.problemHash] = count_++);
        }
        return lastProblemNo_;
    }
    QStringList learners() const { return learners_.keys(); }
    QStringList series() const { return problems_.keys(); }

private:
    QHash<QString, int> learners_;
    QHash<QString, QHash<QString, int>> problems_;
    int count_ = 0;
    QString lastLearner_;
    int lastLearnerNo_ = -1;
    QString lastSeries_;
    QString lastHash_;
    int lastProblemNo_ = -1;
};

struct ConfusionCount {
    Confusion confusion;
    QSet<int> learners;
};

void countConfusions(const Answer& a, int problemNo, int learnerNo,
                     QHash<quint64, ConfusionCount>* counts)
{
    const qsizetype n = std::min(a.placed.size(), a.correct.size());
    for (qsizetype t = 0; t < n && t < a.terms.size(); ++t) {
        const int placed = a.placed.at(t);
        const int right = a.correct.at(t);
        if (placed == right || placed < 1 || placed > a.groups.size() || right < 1 ||
            right > a.groups.size()) {
            continue;
        }
        const quint64 key = quint64(problemNo) << 32 | quint64(t) << 16 | quint64(placed & 0xffff);
        ConfusionCount& c = (*counts)[key];
        if (c.confusion.times == 0) {
            c.confusion = {a.series,
                           a.problemHash,
                           a.heading,
                           a.terms.at(t),
                           a.groups.at(placed - 1),
                           a.groups.at(right - 1),
                           0,
                           0};
        }
        c.confusion.times += 1;
        c.learners.insert(learnerNo);
    }
}

QList<DayCount> perDay(const QMap<QDate, int>& counts)
{
    QList<DayCount> days;
    if (counts.isEmpty()) {
        return days;
    }
    for (QDate d = counts.firstKey(); d <= counts.lastKey(); d = d.addDays(1)) {
        days.append({d, counts.value(d)});
    }
    return days;
}

void sortProblems(QList<ProblemSummary>* problems)
{
    const QCollator order = headingOrder();
    std::sort(problems->begin(), problems->end(),
              [&order](const ProblemSummary& a, const ProblemSummary& b) {
                  if (a.series != b.series) {
                      return order.compare(a.series, b.series) < 0;
                  }
                  if (a.line != b.line) { // known problems first, in file order
                      return a.line > 0 && (b.line == 0 || a.line < b.line);
                  }
                  const int byHeading = order.compare(a.heading, b.heading);
                  return byHeading != 0 ? byHeading < 0 : a.problemHash < b.problemHash;
              });
}

// Each problem across the class, in reading order; marks each learner's
// row of a problem whose text changed.
QList<ProblemSummary> problemsOf(QHash<quint64, Fold>* folds, const TextCheck& textCheck)
{
    QHash<QString, ProblemSummary> problems;
    for (Fold& f : *folds) {
        ProblemSummary& p = problems[problemKey(f.row.series, f.row.problemHash)];
        if (p.learners == 0) {
            p = {f.row.series, f.row.problemHash, f.row.heading, 0, 0, ProblemText::Same, 0};
            if (textCheck) {
                p.line = textCheck(p.series, p.problemHash);
                p.text = p.line > 0 ? ProblemText::Same : ProblemText::Changed;
            }
        }
        f.row.text = p.text;
        p.learners += 1;
        p.firstRight += f.row.firstRight ? 1 : 0;
    }
    QList<ProblemSummary> out = problems.values();
    sortProblems(&out);
    return out;
}

QList<Confusion> sortedConfusions(const QHash<quint64, ConfusionCount>& counts,
                                  const QHash<QString, int>& problemOrder)
{
    QList<Confusion> out;
    out.reserve(counts.size());
    for (const ConfusionCount& c : counts) {
        Confusion confusion = c.confusion;
        confusion.learners = int(c.learners.size());
        out.append(confusion);
    }
    std::sort(out.begin(), out.end(), [&problemOrder](const Confusion& a, const Confusion& b) {
        const int pa = problemOrder.value(problemKey(a.series, a.problemHash));
        const int pb = problemOrder.value(problemKey(b.series, b.problemHash));
        return std::tie(pa, b.learners, b.times, a.term, a.placedIn) <
               std::tie(pb, a.learners, a.times, b.term, b.placedIn);
    });
    return out;
}

} // namespace

namespace
{

// By learner, then in the problems' order.
void sortRows(QList<LearnerProblem>* rows, const QCollator& order,
              const QHash<QString, int>& problemOrder)
{
    std::sort(rows->begin(), rows->end(), [&](const LearnerProblem& a, const LearnerProblem& b) {
        if (a.learner != b.learner) {
            return order.compare(a.learner, b.learner) < 0;
        }
        return problemOrder.value(problemKey(a.series, a.problemHash)) <
               problemOrder.value(problemKey(b.series, b.problemHash));
    });
}

} // namespace

Report of(const QList<Answer>& answers, QList<LeftOut> leftOut, const TextCheck& textCheck)
{
    Report report;
    report.leftOut = std::move(leftOut);
    report.statements = int(answers.size());
    QHash<quint64, Fold> folds; // learner and problem
    QHash<quint64, ConfusionCount> confusions;
    QMap<QDate, int> days;
    LocalTime::Days localDays;
    Numbering numbers;
    TermTally terms;
    for (const Answer& a : answers) {
        const int learnerNo = numbers.learner(a.learner);
        const int problemNo = numbers.problem(a);
        Fold& f = folds[quint64(learnerNo) << 32 | quint64(problemNo)];
        if (f.row.checks == 0) {
            f.row.learner = a.learner;
            f.row.series = a.series;
            f.row.problemHash = a.problemHash;
            f.row.heading = a.heading;
        }
        fold(f, a);
        // Counted as the terms' rates are, at each showing's first check:
        // a learner moving terms about and checking again is not counted
        // again for each try.
        if (a.isReview()) {
            countConfusions(a, problemNo, learnerNo, &confusions);
        }
        terms.add(a);
        days[localDays.of(a.timestampMs)] += 1;
    }

    report.problems = problemsOf(&folds, textCheck);
    QHash<QString, int> problemOrder;
    for (qsizetype i = 0; i < report.problems.size(); ++i) {
        const ProblemSummary& p = report.problems.at(i);
        problemOrder.insert(problemKey(p.series, p.problemHash), int(i));
    }

    report.learners = numbers.learners();
    report.series = numbers.series();
    const QCollator order = headingOrder();
    std::sort(report.learners.begin(), report.learners.end(), order);
    std::sort(report.series.begin(), report.series.end(), order);
    for (const Fold& f : folds) {
        report.rows.append(f.row);
    }
    sortRows(&report.rows, order, problemOrder);
    report.confusions = sortedConfusions(confusions, problemOrder);
    report.terms = terms.rates();
    std::stable_sort(report.terms.begin(), report.terms.end(),
                     [&problemOrder](const TermRate& a, const TermRate& b) {
                         return problemOrder.value(problemKey(a.series, a.problemHash)) <
                                problemOrder.value(problemKey(b.series, b.problemHash));
                     });
    report.days = perDay(days);
    return report;
}

struct MarksFold::State {
    QHash<quint64, Fold> folds; // learner and problem
    Numbering numbers;
    int statements = 0;
};

MarksFold::MarksFold() : d_(std::make_unique<State>()) {}

MarksFold::~MarksFold() = default;

void MarksFold::add(const Answer& a)
{
    const int learnerNo = d_->numbers.learner(a.learner);
    const int problemNo = d_->numbers.problem(a);
    Fold& f = d_->folds[quint64(learnerNo) << 32 | quint64(problemNo)];
    if (f.row.checks == 0) {
        f.row.learner = a.learner;
        f.row.series = a.series;
        f.row.problemHash = a.problemHash;
    }
    fold(f, a);
    d_->statements += 1;
}

Report MarksFold::report(QList<LeftOut> leftOut) const
{
    Report report;
    report.leftOut = std::move(leftOut);
    report.statements = d_->statements;
    report.learners = d_->numbers.learners();
    report.series = d_->numbers.series();
    const QCollator order = headingOrder();
    std::sort(report.learners.begin(), report.learners.end(), order);
    std::sort(report.series.begin(), report.series.end(), order);
    report.rows.reserve(d_->folds.size());
    for (const Fold& f : std::as_const(d_->folds)) {
        report.rows.append(f.row);
    }
    return report;
}

void placeLearners(Report* report, const QStringList& order, QHash<QString, Person> people,
                   QStringList classes)
{
    QHash<QString, int> rank;
    for (const QString& learner : order) {
        rank.insert(learner, int(rank.size()));
    }
    QStringList learners = order;
    for (const QString& learner : std::as_const(report->learners)) {
        if (!rank.contains(learner)) {
            rank.insert(learner, int(rank.size()));
            learners.append(learner);
        }
    }
    report->learners = learners;
    // The rows are by learner already; only the learners' order changes.
    std::stable_sort(report->rows.begin(), report->rows.end(),
                     [&rank](const LearnerProblem& a, const LearnerProblem& b) {
                         return rank.value(a.learner) < rank.value(b.learner);
                     });
    report->people = std::move(people);
    report->classes = std::move(classes);
}

QList<Compared> comparison(const Report& report)
{
    QHash<QString, int> classAt;
    for (const QString& c : report.classes) {
        classAt.insert(c, int(classAt.size()));
    }
    QHash<QString, int> problemAt;
    QList<Compared> out;
    for (const ProblemSummary& p : report.problems) {
        problemAt.insert(problemKey(p.series, p.problemHash), int(out.size()));
        out.append({p.series, p.problemHash, p.heading,
                    QList<ClassShare>(report.classes.size(), ClassShare{})});
    }
    for (const LearnerProblem& r : report.rows) {
        const auto person = report.people.constFind(r.learner);
        const int c = person == report.people.cend() ? -1 : classAt.value(person->className, -1);
        const int p = problemAt.value(problemKey(r.series, r.problemHash), -1);
        if (c < 0 || p < 0) {
            continue;
        }
        ClassShare& share = out[p].shares[c];
        share.learners += 1;
        share.firstRight += r.firstRight ? 1 : 0;
    }
    return out;
}

QList<QList<SeriesMark>> seriesMarks(const Report& report)
{
    QHash<QString, int> learnerAt;
    for (const QString& l : report.learners) {
        learnerAt.insert(l, int(learnerAt.size()));
    }
    QHash<QString, int> seriesAt;
    for (const QString& s : report.series) {
        seriesAt.insert(s, int(seriesAt.size()));
    }
    QList<QList<SeriesMark>> out(report.learners.size(),
                                 QList<SeriesMark>(report.series.size(), SeriesMark{}));
    for (const LearnerProblem& r : report.rows) {
        const int l = learnerAt.value(r.learner, -1);
        const int s = seriesAt.value(r.series, -1);
        if (l < 0 || s < 0) {
            continue;
        }
        SeriesMark& mark = out[l][s];
        mark.answered += 1;
        mark.solved += r.lastRight ? 1 : 0;
        mark.firstRight += r.firstRight ? 1 : 0;
        mark.lastMs = std::max(mark.lastMs, r.lastAnsweredMs);
    }
    return out;
}

QList<ProblemSummary> hardest(const Report& report, int count)
{
    QList<ProblemSummary> out = report.problems; // already in reading order
    std::stable_sort(out.begin(), out.end(), [](const ProblemSummary& a, const ProblemSummary& b) {
        // a.firstRight / a.learners < b.firstRight / b.learners, in integers;
        // at the same rate, the problem more learners answered first.
        const qint64 left = qint64(a.firstRight) * b.learners;
        const qint64 right = qint64(b.firstRight) * a.learners;
        return left != right ? left < right : a.learners > b.learners;
    });
    return out.mid(0, count);
}

QList<Confusion> commonest(const Report& report, int count)
{
    QList<Confusion> out = report.confusions;
    std::stable_sort(out.begin(), out.end(), [](const Confusion& a, const Confusion& b) {
        return a.learners != b.learners ? a.learners > b.learners : a.times > b.times;
    });
    return out.mid(0, count);
}

} // namespace ClassReport
