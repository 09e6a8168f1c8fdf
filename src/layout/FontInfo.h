#pragma once

#include <QString>

// A font as the window describes it: face, size in points and weight. The
// character set is always Shift-JIS (128).
struct FontInfo {
    QString face;
    double points = 0.0;
    bool bold = false;

    static constexpr const char16_t* Gothic = u"ＭＳ ゴシック";    // fixed pitch
    static constexpr const char16_t* PGothic = u"ＭＳ Ｐゴシック"; // proportional

    bool isDefault() const { return face.isEmpty(); }
    bool operator==(const FontInfo& o) const
    {
        return face == o.face && points == o.points && bold == o.bold;
    }
};
