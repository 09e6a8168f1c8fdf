#pragma once

#include "record/Answer.h"
#include "record/EndedHistories.h"

#include <QList>
#include <QString>

#include <mutex>
#include <optional>

class Store;

// What the class has answered in the store, for the teacher's series list
// and editor to tell which learners' histories a series' changes end: read
// again only when the statements change, and kept as one answer of each
// learner to each problem rather than every answer.
class ClassHistories
{
public:
    explicit ClassHistories(QString workDir) : workDir_(std::move(workDir)) {}

    // The problems answered, their ids named as the folder's series files
    // name them now; none when the store cannot be read.
    std::optional<QList<EndedHistories::Answered>> answered(Store& store);

private:
    const QString workDir_;
    std::mutex mutex_;
    QString readFor_; // the statements' state answers_ was read in
    QList<Answer> answers_;
};
