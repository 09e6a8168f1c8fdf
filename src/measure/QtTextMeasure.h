#pragma once

#include "layout/TextMeasure.h"

// Measures captions with the fonts the widgets draw them in.
class QtTextMeasure : public TextMeasure
{
public:
    QSizeF measure(const QString& text, const FontInfo& font) const override;
};
