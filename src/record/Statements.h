#pragma once

#include "record/Answer.h"
#include "series/Problem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// An answer as an xAPI 1.0.3 statement: the learner (an account of this
// program) "answered" the problem, a matching interaction whose terms are
// its source and whose groups are its target.
namespace Statements
{

// Names a problem by its text: the question, terms, groups, answers and
// explanation as read, so the same from any copy or encoding of the file,
// and another name when any of them changes. 16 lowercase hex characters.
QString problemHash(const Problem& problem);

// The statement as compact JSON, without a line end.
QByteArray line(const Answer& answer);

// The answer a statement of this program holds; nothing, and in *why the
// reason in Japanese, when the line is no such statement.
std::optional<Answer> parse(QByteArrayView line, QString* why);

} // namespace Statements
