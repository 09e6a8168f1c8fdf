#include "record/FitReport.h"

#include "record/ClassReviews.h"
#include "record/FsrsFit.h"
#include "record/ProblemIndex.h"

#include <QDateTime>
#include <QJsonArray>

#include <algorithm>

namespace FitReport
{

bool Outcome::enough() const
{
    return reviews >= FsrsFit::MinimumReviews;
}

Outcome of(const QList<Answer>& answers, const QString& folder, const LearnerDays& days,
           const Fsrs::Parameters& parameters, bool fit)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    ProblemIndex problems(folder);
    ClassReviews reviews(days, now);
    for (Answer a : answers) {
        problems.update(a);
        reviews.add(a);
    }
    const QList<ReviewCard>& cards = reviews.cards();
    Outcome o;
    o.reviews = reviews.predictedReviews();
    o.learners = reviews.learners().size();
    o.parameters = parameters;
    if (fit) {
        o.parameters.w = Fsrs::DefaultWeights;
    }
    if (fit && o.enough()) {
        o.parameters.w = FsrsFit::fit(cards);
        o.heldOut = FitMeasures::heldOut(cards, reviews.learners());
    }
    const QList<FitMeasures::Prediction> byDefault =
        FitMeasures::predict(cards, Fsrs::DefaultWeights);
    const QList<FitMeasures::Prediction> byFit = FitMeasures::predict(cards, o.parameters.w);
    o.defaults = FitMeasures::measure(byDefault);
    o.fitted = FitMeasures::measure(byFit);
    o.calibrationDefaults = FitMeasures::calibration(byDefault);
    o.calibrationFitted = FitMeasures::calibration(byFit);
    QList<ReviewCard> asked;
    for (const ReviewCard& c : cards) {
        if (problems.find(c.series, c.problemHash)) {
            asked.append(c);
        }
    }
    o.from = days.dayOf(now);
    o.forecast = FitMeasures::forecast(asked, o.parameters, o.from);
    return o;
}

QString tooFew(const Outcome& o)
{
    return QStringLiteral("復習が %1件に満たないので、標準のパラメーターのままにします"
                          "（あと %2件要ります）")
        .arg(QString::number(FsrsFit::MinimumReviews),
             QString::number(FsrsFit::MinimumReviews - o.reviews));
}

namespace
{

QJsonObject measureJson(const FitMeasures::Measure& m)
{
    return {{QStringLiteral("logLoss"), m.logLoss}, {QStringLiteral("rmseBins"), m.rmseBins}};
}

QJsonArray binsJson(const QList<FitMeasures::Bin>& bins)
{
    QJsonArray out;
    for (const FitMeasures::Bin& b : bins) {
        out.append(QJsonObject{{QStringLiteral("from"), b.from},
                               {QStringLiteral("to"), b.to},
                               {QStringLiteral("reviews"), double(b.reviews)},
                               {QStringLiteral("predicted"), b.predicted},
                               {QStringLiteral("recalled"), b.recalled}});
    }
    return out;
}

} // namespace

QJsonObject toJson(const Outcome& o, const QString& kept)
{
    QJsonArray w, forecast;
    for (const double x : o.parameters.w) {
        w.append(x);
    }
    for (const int n : o.forecast) {
        forecast.append(n);
    }
    QJsonValue heldOut = QJsonValue::Null;
    if (o.heldOut.folds > 0) {
        heldOut = QJsonObject{{QStringLiteral("folds"), o.heldOut.folds},
                              {QStringLiteral("default"), measureJson(o.heldOut.defaults)},
                              {QStringLiteral("fitted"), measureJson(o.heldOut.fitted)}};
    }
    return {{QStringLiteral("reviews"), double(o.reviews)},
            {QStringLiteral("learners"), double(o.learners)},
            {QStringLiteral("reviewsNeeded"),
             double(std::max<qsizetype>(FsrsFit::MinimumReviews - o.reviews, 0))},
            {QStringLiteral("default"), measureJson(o.defaults)},
            {QStringLiteral("fitted"), measureJson(o.fitted)},
            {QStringLiteral("heldOut"), heldOut},
            {QStringLiteral("parameters"), w},
            {QStringLiteral("retention"), o.parameters.retention},
            {QStringLiteral("calibration"),
             QJsonObject{{QStringLiteral("default"), binsJson(o.calibrationDefaults)},
                         {QStringLiteral("fitted"), binsJson(o.calibrationFitted)}}},
            {QStringLiteral("forecast"),
             QJsonObject{{QStringLiteral("from"), o.from.toString(Qt::ISODate)},
                         {QStringLiteral("reviews"), forecast}}},
            {QStringLiteral("kept"), kept.isEmpty() ? QJsonValue(QJsonValue::Null) : kept}};
}

} // namespace FitReport
