#pragma once

#include <QStringList>

#include <functional>

class Control;
class Session;

// Every board of the series that come with the program (data/), as a
// learner opens each series of the list and steps through its problems.
namespace BundledBoards
{

// With the start-up of `session` done in a copy of data/: opens each series of
// the list in turn and shows each of its problems; after each, shown() runs
// and every term and frame caption on the board gives one line: where it
// is, its text, textWidth(label) and the label's width on the board. Empty
// when the list holds no series.
QStringList widths(Session& session, const std::function<double(const Control&)>& textWidth,
                   const std::function<void()>& shown = {});

} // namespace BundledBoards
