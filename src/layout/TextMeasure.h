#pragma once

#include "layout/FontInfo.h"

#include <QSizeF>
#include <QString>

// Measures a caption in a font. The result is in twips: the width is the
// advance of the text, the height one line of the font. Labels add their
// border on top of this.
class TextMeasure
{
public:
    virtual ~TextMeasure() = default;
    virtual QSizeF measure(const QString& text, const FontInfo& font) const = 0;
};
