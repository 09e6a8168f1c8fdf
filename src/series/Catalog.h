#pragma once

#include <QString>
#include <QStringList>

class Form1;

namespace Catalog
{

constexpr const char* FileName = "ZQCList.TXT";

// Splits one catalogue line into its fields: a field ends at a comma or at
// the line end; half-width spaces before a field (and after an unquoted one)
// are not part of it; a field that begins with a double quote runs to the
// next double quote and may hold commas.
QStringList splitFields(const QString& line);

} // namespace Catalog

// Reads the catalogue into SeriesCatalog rows 1.. and List1, after the fixed
// marked-problems entry in row 0. Problems are told to the user.
void ReadSeriesCatalog(Form1& form);
