#pragma once

#include "report/ClassFolder.h"

#include <QString>

// A class's answers in a work folder as velmorant-check reads them: the
// learners' logs in records/ and, on a server's folder, the statements of
// its store (the folder's velmorant.sqlite, or the PostgreSQL database
// named as velmorant-server takes it).
namespace ClassAnswers
{

// Every statement once, the logs' first, then the store's. Returns "" or
// why the store cannot be read.
QString read(const QString& folder, const QString& database, ClassFolder::Read* out);

} // namespace ClassAnswers
