#pragma once

#include <QStringList>

#include <functional>

// velmorant-check --watch: the check run again each time a teacher saves
// one of the files it read, until Ctrl+C ends it.
namespace CheckWatch
{

// Calls `again` within a second of a change (a save, a rename over, a
// removal) of any file that `files` names, asked anew after each call.
// The folders are watched, and every file's time and size looked at
// several times a second as well: a network drive may tell no change.
// Returns only when the application quits.
int run(const std::function<QStringList()>& files, const std::function<void()>& again);

} // namespace CheckWatch
