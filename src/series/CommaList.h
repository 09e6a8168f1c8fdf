#pragma once

#include <QString>

#include <functional>

// A comma-terminated list: every field is followed by one comma, the last
// included ("ウニ,ヒトデ,"). An empty list has no field; a last field without
// its comma still counts. Returns the number of fields walked.
int WalkCommaList(const QString& list,
                  const std::function<void(int index, const QString& field)>& action);

// The number written at the start of a field, read as decimal text: leading
// spaces skipped, reading stops at the first character that cannot continue
// the number; 0 when there is none.
double LeadingNumber(const QString& field);
