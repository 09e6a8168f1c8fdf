#pragma once

#include "session/Control.h"

#include <QColor>
#include <QPalette>
#include <QRect>

namespace ViewGeometry
{

// Twips to the nearest pixel; positions may be negative or fractional.
int toPixels(float twips);
// The control's rectangle in pixels, relative to its container.
QRect pixelRect(const Control& c);
// A colour as the model stores it (0x00BBGGRR or a system colour).
QColor toQColor(quint32 color, const QPalette& palette);

} // namespace ViewGeometry
