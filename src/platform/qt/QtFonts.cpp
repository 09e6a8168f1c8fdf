#include "platform/qt/QtFonts.h"

#include <QApplication>

#include <cmath>

namespace QtFonts
{

void installSubstitutions()
{
    QFont::insertSubstitutions(QString::fromUtf16(FontSpec::Gothic), {QStringLiteral("IPAGothic")});
    QFont::insertSubstitutions(QString::fromUtf16(FontSpec::PGothic),
                               {QStringLiteral("IPAPGothic")});
}

int pixelSize(double points)
{
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

QFont toQFont(const FontSpec& spec)
{
    if (spec.isDefault()) {
        return QApplication::font();
    }
    QFont font(spec.face);
    font.setPixelSize(pixelSize(spec.points));
    font.setBold(spec.bold);
    // Hinted advances depend on the desktop's settings; unhinted ones are the
    // same everywhere, so captions measure the same on every machine.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace QtFonts
