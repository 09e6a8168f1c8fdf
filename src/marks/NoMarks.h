#pragma once

#include "marks/MarksFile.h"
#include "marks/MarksPort.h"

// Marks taken and forgotten: a teacher's preview keeps none, so that trying
// a draft leaves nothing in any learner's marks.
class NoMarks : public MarksPort
{
public:
    int read(SeriesState& /*st*/, QList<MarksFinding>* /*findings*/) override { return -1; }
    QList<Problem> problems() override { return {}; }
    MarksWrite append(const QStringList& /*record*/) override { return {}; }
    MarksWrite savePending() override { return {}; }
    MarksWrite rewrite(const SeriesState& /*st*/) override { return {}; }
    qsizetype pendingCount() const override { return 0; }
    void takeBackLast() override {}
    QString where() const override { return {}; }
};
