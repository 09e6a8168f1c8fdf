#pragma once

#include "layout/FontInfo.h"

#include <QFont>

namespace QtFonts
{

// Maps the two Japanese faces the window was designed with to the IPA faces,
// whose metrics the layout constants fit, or to the best Japanese faces
// installed. Call once before any font is made. False when the machine has
// no Japanese font.
bool installSubstitutions();

// Pixel size of a point size on the 96-dpi screen the layout assumes.
int pixelSize(double points);

// The font of a control. Sizes are in pixels so the layout does not follow
// the screen's DPI; an empty face is the system's default font.
QFont toQFont(const FontInfo& font);

} // namespace QtFonts
