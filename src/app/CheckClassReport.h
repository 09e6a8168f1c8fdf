#pragma once

#include <QStringList>

#include <optional>

// velmorant-check --report OUTDIR [DIR] and --send-to-lrs URL --lrs-auth
// FILE [DIR]: the class's answer logs of a shared work folder, as a report
// for the teacher and as statements for a learning record store.
namespace CheckClassReport
{

extern const char* const Usage;

// The exit code when the command line asks for either; nothing otherwise.
// Needs a QCoreApplication.
std::optional<int> run(const QStringList& args);

} // namespace CheckClassReport
