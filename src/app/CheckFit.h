#pragma once

#include <QStringList>

#include <optional>

// velmorant-check --fit [--retention R] [--json] [--day-start T]
// [--database URL] [DIR] fits FSRS-6's parameters to the class's reviews,
// prints how well the defaults and the fitted parameters predict them and
// keeps the fitted ones in the folder (ClassParameters); --retention R
// [DIR] alone sets the recall the class's intervals aim at.
namespace CheckFit
{

extern const char* const Usage;

// The exit code when the command line asks for either; nothing otherwise.
std::optional<int> run(const QStringList& args);

} // namespace CheckFit
