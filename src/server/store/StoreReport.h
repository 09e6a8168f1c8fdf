#pragma once

#include "report/ClassFolder.h"
#include "report/ClassReport.h"

#include <QString>

class Store;

// The class report of every learner's statements in a server's store, as
// the teacher's page and velmorant-check --report give it.
namespace StoreReport
{

// Every learner's statements, by learner and time; a statement that cannot
// be read is told among what was left out.
ClassFolder::Read read(Store& store);

// The report of read(store), its problems checked against the series
// files of `workDir`.
ClassReport::Report of(Store& store, const QString& workDir);

} // namespace StoreReport
