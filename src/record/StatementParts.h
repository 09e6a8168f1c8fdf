#pragma once

#include <QList>
#include <QStringView>

#include <optional>

// The values a statement's fields hold, read from their texts as
// StatementReader reads them.
namespace StatementParts
{

// The group of each term from "1[.]2[,]2[.]1": every term paired once with
// a group, in any order. False when the pairs are not that.
bool readPairs(QStringView text, qsizetype terms, qsizetype groups, QList<int>* groupOfTerm);

// An ISO 8601 duration of hours, minutes and seconds in milliseconds; -1
// when it is not one.
qint64 durationMsOf(QStringView text);

// A time with its offset in milliseconds since 1970 UTC; nothing when it is
// no such time.
std::optional<qint64> timestampMsOf(QStringView text);

} // namespace StatementParts
