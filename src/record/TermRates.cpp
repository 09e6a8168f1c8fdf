#include "record/TermRates.h"

#include <algorithm>

int TermRate::rightPercent() const
{
    return firstChecks > 0 ? (right * 200 + firstChecks) / (firstChecks * 2) : 0;
}

void TermTally::add(const Answer& a)
{
    if (!a.isReview()) {
        return;
    }
    // A log holds runs of one problem's answers: the last one is kept at hand.
    const QString key = a.series + QLatin1Char('\n') + a.problemHash;
    if (key != lastKey_ || rates_.isEmpty()) {
        const auto found = rows_.constFind(key);
        if (found != rows_.constEnd()) {
            last_ = *found;
        } else {
            last_ = {rates_.size(), a.terms.size()};
            rows_.insert(key, last_);
            for (qsizetype t = 0; t < a.terms.size(); ++t) {
                rates_.append({a.series, a.problemHash, a.heading, a.terms.at(t),
                               a.groups.value(a.correct.value(t) - 1), 0, 0});
            }
        }
        lastKey_ = key;
    }
    // One id holds the same terms; any beyond those first met are not counted.
    for (qsizetype t = 0; t < std::min(a.terms.size(), last_.count); ++t) {
        TermRate& rate = rates_[last_.first + t];
        rate.firstChecks += 1;
        rate.right += a.placed.value(t) == a.correct.value(t) ? 1 : 0;
    }
}

QList<TermRate> TermTally::rates() const
{
    return rates_;
}
