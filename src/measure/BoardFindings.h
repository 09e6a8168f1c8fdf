#pragma once

#include "series/Problem.h"
#include "series/SeriesWriter.h"

#include <QList>
#include <QString>

class MainScreen;

// What would look poor on a problem's board, found by laying it out with the
// window's own code and fonts: for velmorant-check and the teacher's editor
// alike. Each is told with the part of the problem to mend.
namespace BoardFindings
{

struct Note {
    SeriesWriter::Field field = SeriesWriter::Field::Question;
    QString message;
};

// The problem `problem` as `form` shows it now: terms wider than the window
// or their frame, captions wider than theirs, frames too small for their
// terms, a heading that wraps and a question beyond two lines.
QList<Note> layout(const MainScreen& form, const Problem& problem);

// A character code page 932 cannot hold: the problem is shown, but its mark
// cannot be kept and the file cannot be saved in code page 932.
QList<Note> unencodable(const Problem& problem);

} // namespace BoardFindings
