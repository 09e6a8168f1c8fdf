#include "server/teacher/ClassHistories.h"

#include "record/ProblemIndex.h"
#include "server/store/Store.h"
#include "server/store/StoreReport.h"

#include <QSet>

#include <algorithm>

std::optional<QList<EndedHistories::Answered>> ClassHistories::answered(Store& store)
{
    const QString state = store.statementsState();
    if (state.isEmpty()) {
        return std::nullopt;
    }
    QList<Answer> answers;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (state != readFor_) {
            ClassFolder::Read read = StoreReport::read(store);
            // Read part way (line 0 tells it): told as unread, never as
            // fewer histories.
            if (std::any_of(read.leftOut.cbegin(), read.leftOut.cend(),
                            [](const ClassReport::LeftOut& l) { return l.line == 0; })) {
                return std::nullopt;
            }
            answers_.clear();
            QSet<QString> seen;
            for (Answer& a : read.answers) {
                const QString key =
                    a.series + QLatin1Char('\n') + a.problemHash + QLatin1Char('\n') + a.learner;
                if (!seen.contains(key)) {
                    seen.insert(key);
                    answers_.append(std::move(a));
                }
            }
            readFor_ = state;
        }
        answers = answers_;
    }
    ProblemIndex index(workDir_);
    return EndedHistories::of(std::move(answers), index);
}
