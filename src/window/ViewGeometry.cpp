#include "window/ViewGeometry.h"

#include <algorithm>
#include <cmath>

namespace ViewGeometry
{

int toPixels(float twips)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / Control::TwipsPerPixel));
}

QRect pixelRect(const Control& c)
{
    return {toPixels(c.Left), toPixels(c.Top), std::max(0, toPixels(c.Width)),
            std::max(0, toPixels(c.Height))};
}

QColor toQColor(quint32 color, const QPalette& palette)
{
    if (!Colors::isSystem(color)) {
        return {Colors::red(color), Colors::green(color), Colors::blue(color)};
    }
    switch (color & ~Colors::SystemFlag) {
    case 5: // window background
        return palette.color(QPalette::Base);
    case 8: // window text
        return palette.color(QPalette::Text);
    case 15: // button face
        return palette.color(QPalette::Button);
    case 18: // button text
        return palette.color(QPalette::ButtonText);
    default:
        return palette.color(QPalette::Window);
    }
}

} // namespace ViewGeometry
