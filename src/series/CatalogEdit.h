#pragma once

#include "series/Catalog.h"

#include <QString>

#include <optional>

// The catalogue changed from the teacher's page. Each change reads the
// file with the catalogue's own reader, changes only the lines it must, and
// writes it back whole and at once in its own encoding and line ends: every
// other line keeps its bytes. The caller holds the folder's lock
// (SeriesFiles::lockPath).
namespace CatalogEdit
{

struct Done {
    int status = 200; // 400: bad input, 404: not listed, 409: cannot, 500: cannot write
    QString error;
};

// Why `title` cannot stand in the catalogue, in Japanese; empty when it can.
QString badTitle(const QString& title);

// The entry that lists `file` (in any letter case).
std::optional<Catalog::Entry> find(const Catalog::Result& catalog, const QString& file);

Done add(const QString& dir, const QString& title, const QString& file);
Done rename(const QString& dir, const QString& file, const QString& title);
// One place up (by -1) or down (by 1), past the entry beside it.
Done move(const QString& dir, const QString& file, int by);
// From the list only: the file itself is the caller's.
Done remove(const QString& dir, const QString& file);

} // namespace CatalogEdit
