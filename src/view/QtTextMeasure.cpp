#include "view/QtTextMeasure.h"

#include "view/QtFonts.h"
#include "forms/Control.h"

#include <QFontMetricsF>

#include <cmath>

QSizeF QtTextMeasure::measure(const QString& text, const FontInfo& font) const
{
    const QFontMetricsF metrics(QtFonts::toQFont(font));
    const double twips = Control::TwipsPerPixel;
    // A line takes whole pixels on the screen, the advance need not.
    return {metrics.horizontalAdvance(text) * twips, std::ceil(metrics.height()) * twips};
}
