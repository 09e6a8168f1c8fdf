#pragma once

#include "series/Problem.h"
#include "series/SeriesParser.h"
#include "series/SeriesWriter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A save from the editor's form: the file's text with only what the form
// changed written anew. A problem whose fields are as the text has them
// keeps its lines byte for byte, wherever it is moved; in a changed problem
// only the changed parts are written again, in the spelling the file uses
// (its heading words, marks, blanks and entries to a line); lines between
// problems stay where they were.
namespace SeriesSplice
{

// A problem as the form holds it: the question without the blank that ends
// its heading, and each term's group, 0 where the answer line names none of
// the groups.
Problem formOf(const SeriesParser::Draft& draft);

// A problem of the form and the problem of the text it was read from (its
// index among the text's problems; -1 for a new one). A problem `kept` is
// as its source has it, and `problem` is not looked at.
struct Edited {
    Problem problem;
    int source = -1;
    bool kept = false;
};

// Where line `line` (1-based) of a text read as `read` stands: the index
// of its problem (-1 for none) and the part of it.
struct Place {
    int problem = -1;
    SeriesWriter::Field field = SeriesWriter::Field::Heading;
};
Place placeOf(const SeriesParser::Result& read, int line);

// The text of `base` (its lines, each without its line end) with its
// problems as `problems` has them, lines joined with '\n'; none when a kept
// problem's source is not in `base`.
std::optional<QString> write(const QStringList& base, const QList<Edited>& problems);

} // namespace SeriesSplice
