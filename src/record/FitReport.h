#pragma once

#include "record/Answer.h"
#include "record/FitMeasures.h"
#include "record/Fsrs.h"
#include "record/LearnerDays.h"

#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QString>

// A class's reviews fitted and measured, as velmorant-check --fit prints
// it and the teacher's 復習の調整 shows it: one computation for both.
namespace FitReport
{

struct Outcome {
    qsizetype reviews = 0;
    qsizetype learners = 0;
    Fsrs::Parameters parameters;
    FitMeasures::Measure defaults, fitted;
    FitMeasures::HeldOut heldOut;
    QList<FitMeasures::Bin> calibrationDefaults, calibrationFitted;
    QDate from; // of the forecast
    QList<int> forecast;
    bool enough() const;
};

// Every answer of a class (each learner's in the order written) as the
// schedule takes them in, problems named as `folder`'s series name them
// now; only the problems still asked are forecast. With `fit` and enough
// reviews the parameters are fitted (and measured held out); else
// `parameters` are measured as they are.
Outcome of(const QList<Answer>& answers, const QString& folder, const LearnerDays& days,
           const Fsrs::Parameters& parameters, bool fit);

// That the fit kept the defaults, and how many more reviews it needs.
QString tooFew(const Outcome& o);

// As --fit --json prints it; `kept` says where the parameters were kept
// (none: null).
QJsonObject toJson(const Outcome& o, const QString& kept);

} // namespace FitReport
