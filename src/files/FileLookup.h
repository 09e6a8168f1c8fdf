#pragma once

#include <QString>

// Names in teachers' files are often written on Windows, where letter case
// does not matter and folders are separated by '\'.
namespace FileLookup
{

// The path of the file that `name` names under `dir`. Both '\' and '/'
// separate folders. Each part of the name is taken as written when it exists;
// otherwise the one entry of that folder that matches it apart from letter
// case is taken. When no entry matches, or several do and none exactly, the
// rest of the name is kept as written, so a file created under the returned
// path gets the name the program asked for.
QString resolve(const QString& dir, const QString& name);

} // namespace FileLookup
