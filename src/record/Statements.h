#pragma once

#include "record/Answer.h"
#include "series/Problem.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Placeholder of the statements' interface, as agreed.
namespace Statements
{
QString problemHash(const Problem& p);
QByteArray line(const Answer& a);
std::optional<Answer> parse(QByteArrayView line, QString* why);
} // namespace Statements
