#pragma once
#include "record/Answer.h"
#include "series/Problem.h"
#include <QByteArray>
#include <optional>
namespace Statements {
QString problemHash(const Problem& p);
QByteArray line(const Answer& a);
std::optional<Answer> parse(QByteArrayView line, QString* why);
}
