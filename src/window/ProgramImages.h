#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures stored with the program: the window icon and the title
// picture of the series list screen.
namespace ProgramImages
{

// Decodes the pictures now, on any thread, so that icon() and title() need
// not; they wait for a decoding under way. Optional.
void decodeAhead();

QIcon icon();
QPixmap title();

} // namespace ProgramImages
