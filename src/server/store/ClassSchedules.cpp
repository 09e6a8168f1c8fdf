#include "server/store/ClassSchedules.h"

#include "record/FastStatementReader.h"
#include "record/FitReport.h"
#include "server/store/StoreReport.h"

#include <QDateTime>
#include <QJsonDocument>

namespace ClassSchedules
{

ClassParameters::Kept parametersOf(const Store::KeptParameters& row)
{
    if (row.kept.isEmpty()) {
        return {};
    }
    ClassParameters::Kept kept;
    if (const QString why = ClassParameters::fromJson(row.kept, &kept); !why.isEmpty()) {
        ClassParameters::Kept defaults;
        defaults.problem =
            QStringLiteral("クラスの復習のパラメーターを使わず、標準のもので予定を立てます: %1")
                .arg(why);
        return defaults;
    }
    return kept;
}

Schedule scheduleOf(const QList<QByteArray>& lines, ProblemIndex& problems, const LearnerDays& days,
                    const Fsrs::Parameters& parameters, qint64 nowMs, QList<Answer>* answers)
{
    FastStatementReader reader;
    Schedule all(days, parameters);
    for (const QByteArray& line : lines) {
        QString why;
        if (std::optional<Answer> a = reader.parse(line, &why)) {
            problems.update(*a);
            all.add(*a, nowMs);
            if (answers != nullptr) {
                answers->append(std::move(*a));
            }
        }
    }
    return all;
}

namespace
{

// A learner's review state made with `parameters` from their statements,
// and their kept state's count of answers read before them.
struct Built {
    QString learner;
    qint64 counted = -1;
    Store::Reviews reviews;
};

Built build(Store& store, const QString& learner, ProblemIndex& problems,
            const Fsrs::Parameters& parameters, QString* failed)
{
    Built b{learner, store.reviewedAnswers(learner), {}};
    const QList<QByteArray> lines = store.statements(learner, failed);
    QList<Answer> answers;
    const Schedule s = scheduleOf(lines, problems, LearnerDays(), parameters,
                                  QDateTime::currentMSecsSinceEpoch(), &answers);
    b.reviews = {s.problems(), s.setAsideCounts(), answers.size()};
    return b;
}

// The class's parameters and report written, and each of its learners'
// review state made again with them, as one transaction: a learner's answer
// comes before it or after it. The states are made before it, so that the
// store's write lock is held for writing them alone; a learner who answered
// meanwhile (their kept count has changed) is made again within it.
QString keep(Store& store, const QString& workDir, qint64 classId,
             const ClassParameters::Kept& kept, const QByteArray& report)
{
    QString failed;
    const std::optional<QList<Store::Learner>> learners = store.learners(classId, &failed);
    ProblemIndex problems(workDir);
    QList<Built> built;
    for (const Store::Learner& l : learners.value_or(QList<Store::Learner>{})) {
        built.append(build(store, l.key, problems, kept.parameters, &failed));
    }
    failed = failed.isEmpty() ? store.begin() : failed;
    if (!failed.isEmpty()) {
        return failed;
    }
    failed = store.saveClassParameters(classId, ClassParameters::toJson(kept), report);
    for (qsizetype i = 0; i < built.size() && failed.isEmpty(); ++i) {
        const Built& b = built.at(i);
        const Built now = b.counted < 0 || store.reviewedAnswers(b.learner) != b.counted
                              ? build(store, b.learner, problems, kept.parameters, &failed)
                              : b;
        failed = failed.isEmpty() ? store.saveReviews(b.learner, now.reviews) : failed;
    }
    if (!failed.isEmpty()) {
        store.rollback();
        return failed;
    }
    return store.commit();
}

// The class's answers, each learner's in the order written.
std::optional<QList<Answer>> answersOf(Store& store, qint64 classId, QString* failure)
{
    const std::optional<QList<Store::Learner>> learners = store.learners(classId, failure);
    if (!learners) {
        return std::nullopt;
    }
    StoreReport::Learners who;
    who.onlyShown = true;
    for (const Store::Learner& l : *learners) {
        who.shown.insert(l.key, l.key);
    }
    return StoreReport::read(store, who).answers;
}

} // namespace

Result fit(Store& store, const QString& workDir, qint64 classId, std::optional<double> retention,
           bool fit)
{
    Result r;
    const std::optional<Store::KeptParameters> row = store.classParameters(classId, &r.failure);
    const std::optional<QList<Answer>> answers =
        row ? answersOf(store, classId, &r.failure) : std::nullopt;
    if (!answers) {
        return r;
    }
    ClassParameters::Kept kept = parametersOf(*row);
    kept.parameters.retention = retention.value_or(kept.parameters.retention);
    r.outcome = FitReport::of(*answers, workDir, LearnerDays(), kept.parameters, fit);
    const FitReport::Outcome& o = r.outcome;
    r.report = FitReport::toJson(o, {});
    if (fit) {
        r.kept = o.enough() || kept.fitted() || retention.has_value();
        kept.parameters = o.parameters;
        kept.fittedAt = o.enough() ? QDateTime::currentDateTimeUtc() : QDateTime();
        kept.reviews = o.enough() ? int(o.reviews) : 0;
        kept.learners = o.enough() ? int(o.learners) : 0;
        r.told = o.enough() ? QStringLiteral("学習者 %1人の復習 %2件に合わせました")
                                  .arg(QString::number(o.learners), QString::number(o.reviews))
                            : FitReport::tooFew(o);
    } else {
        // The held-out measures are the last fit's: they take five fits.
        r.kept = retention.has_value();
        const QJsonObject before = QJsonDocument::fromJson(row->report).object();
        r.report.insert(QStringLiteral("heldOut"), before.contains(QStringLiteral("heldOut"))
                                                       ? before.value(QStringLiteral("heldOut"))
                                                       : QJsonValue::Null);
        r.told = QStringLiteral("復習の間隔が目指す思い出せる見込みを %1 にしました")
                     .arg(QString::number(kept.parameters.retention, 'f', 2));
    }
    if (r.kept) {
        r.failure = keep(store, workDir, classId, kept,
                         QJsonDocument(r.report).toJson(QJsonDocument::Compact));
    }
    return r;
}

} // namespace ClassSchedules
