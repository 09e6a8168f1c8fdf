#pragma once

#include "record/Answer.h"
#include "series/Problem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include <optional>

// An answer as an xAPI 1.0.3 statement: the learner (an account of this
// program) "answered" the problem, a matching interaction whose terms are
// its source and whose groups are its target.
namespace Statements
{

// An answer to `problem` of series file `series`, whose key there is `key`
// (ProblemIds): what it asks, filled in; who answered, how and when are the
// caller's to fill.
Answer about(const Problem& problem, const QString& series, const QString& key);

// The statement as compact JSON, without a line end.
QByteArray line(const Answer& answer);

// The answer a statement of this program holds; nothing, and in *why the
// reason in Japanese, when the line is no such statement.
std::optional<Answer> parse(QByteArrayView line, QString* why);

} // namespace Statements

// Reads statements one after another, as a log holds them. The many answers
// to one problem share its texts: a definition equal to one read before is
// compared, not taken apart again.
class StatementReader
{
public:
    std::optional<Answer> parse(QByteArrayView line, QString* why);

    // A problem as first read: its definition and what was taken from it.
    struct Known {
        QJsonObject definition;
        Answer texts;
    };

private:
    QHash<QString, Known> known_; // by the problem's id
};
