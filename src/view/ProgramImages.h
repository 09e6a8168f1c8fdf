#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures stored with the program: the window icon and the title
// picture of the series list screen.
namespace ProgramImages
{

QIcon icon();
QPixmap title();

} // namespace ProgramImages
