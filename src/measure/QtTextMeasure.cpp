#include "measure/QtTextMeasure.h"

#include "measure/JapaneseFonts.h"
#include "measure/QtFonts.h"
#include "session/Control.h"

#include <QFontMetricsF>

#include <cmath>

QSizeF QtTextMeasure::measure(const QString& text, const FontInfo& font) const
{
    const QFont qfont = QtFonts::toQFont(font);
    const QFontMetricsF metrics(qfont);
    const double twips = Control::TwipsPerPixel;
    // A line takes whole pixels on the screen, the advance need not. The
    // design faces keep their line height whichever face draws them.
    const double line = JapaneseFonts::isDesignFace(qfont)
                            ? JapaneseFonts::designLineHeight(qfont.pixelSize())
                            : std::ceil(metrics.height());
    return {metrics.horizontalAdvance(text) * twips, line * twips};
}
