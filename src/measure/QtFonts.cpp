#include "measure/QtFonts.h"

#include "measure/JapaneseFonts.h"

#include <QGuiApplication>

#include <cmath>

namespace QtFonts
{

bool installSubstitutions()
{
    return JapaneseFonts::install().found();
}

int pixelSize(double points)
{
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

QFont toQFont(const FontInfo& info)
{
    if (info.isDefault()) {
        return QGuiApplication::font();
    }
    QFont font(info.face);
    font.setPixelSize(pixelSize(info.points));
    font.setBold(info.bold);
    // Hinted advances depend on the desktop's settings; unhinted ones are the
    // same everywhere, so captions measure the same on every machine.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace QtFonts
