#pragma once

#include "record/Answer.h"

#include <QHash>
#include <QList>
#include <QString>

// How often each term of a problem was put in its group at first checks
// (the first check of each showing): what a learner knows of a problem
// that is not yet right as a whole.
struct TermRate {
    QString series;
    QString problemHash;
    QString heading;
    QString term;
    QString group;       // the term's right group
    int firstChecks = 0; // first checks of the problem that showed the term
    int right = 0;       // of those, the ones with the term in its group

    // right / firstChecks in whole percent, halves up.
    int rightPercent() const;
};

// Counts answers as they come, for one learner or a whole class.
class TermTally
{
public:
    void add(const Answer& a);
    // Problems in the order first met, terms in their order.
    QList<TermRate> rates() const;

private:
    struct Rows {
        qsizetype first = 0; // the problem's first term's row in rates_
        qsizetype count = 0; // its terms
    };
    QList<TermRate> rates_;
    QHash<QString, Rows> rows_; // by series and problem
    QString lastKey_;
    Rows last_;
};
