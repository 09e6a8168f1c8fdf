#pragma once

#include "series/Catalog.h"

#include <QDate>
#include <QList>
#include <QString>

class MainScreen;

// A series the learner's class is given with a 期限 (the classroom
// server's; the desktop program has none).
struct DueSeries {
    QString file;
    QDate due;
};

// Series given a 期限 come first on the learner's list, soonest first, each
// with its 期限 and the problems solved so far.
namespace Assigned
{

// The catalogue's entries with those of `due` first, by 期限 and then in
// the catalogue's order; the rest after them as the catalogue lists them.
void order(QList<Catalog::Entry>& entries, const QList<DueSeries>& due);
// An assigned series' line on the list: 「題名　期限 12/20　3/10問」, a 期限
// before `today` marked 期限切れ; `problems` < 0 while the record is unread.
QString label(const QString& title, QDate due, QDate today, int solved, int problems);
// The list's lines of the assigned series written again, with what the
// learner's record tells once it has been read.
void labelRows(MainScreen& screen);

} // namespace Assigned
