#include "window/ViewColors.h"

#include "window/ViewGeometry.h"

#include <algorithm>
#include <cmath>

namespace ViewColors
{

namespace
{

double luminance(const QColor& c)
{
    auto channel = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// The text role that belongs with a system colour used as a background.
QPalette::ColorRole textRoleOn(quint32 systemBack)
{
    switch (systemBack & ~Colors::SystemFlag) {
    case 5: // window background
        return QPalette::Text;
    case 13: // highlight
        return QPalette::HighlightedText;
    case 15: // button face
        return QPalette::ButtonText;
    default:
        return QPalette::WindowText;
    }
}

} // namespace

std::pair<QColor, QColor> labelColors(quint32 back, quint32 fore, const QPalette& palette)
{
    const QColor background = ViewGeometry::toQColor(back, palette);
    if (Colors::isSystem(back)) {
        return {background, palette.color(textRoleOn(back))};
    }
    if (!Colors::isSystem(fore)) {
        return {background, ViewGeometry::toQColor(fore, palette)};
    }
    // A system text colour on a design background: the scheme's text colour
    // belongs to the scheme's backgrounds, not to this one.
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return {background, contrast(background, black) >= contrast(background, white) ? black : white};
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace ViewColors
