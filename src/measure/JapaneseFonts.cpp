#include "measure/JapaneseFonts.h"

#include "layout/FontInfo.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace JapaneseFonts
{

namespace
{

// The IPA faces' ascent and descent, in ems.
constexpr double IpaAscent = 0.8802;
constexpr double IpaDescent = 0.1958;

QString gothicFace()
{
    return QString::fromUtf16(FontInfo::Gothic);
}

QString pgothicFace()
{
    return QString::fromUtf16(FontInfo::PGothic);
}

// The chosen face first, then every other installed candidate.
QStringList substitutes(const QString& chosen, const QStringList& candidates,
                        const QStringList& available)
{
    QStringList out{chosen};
    for (const QString& c : candidates) {
        const QString found = choose({c}, available);
        if (!found.isEmpty() && !out.contains(found)) {
            out.append(found);
        }
    }
    return out;
}

} // namespace

QStringList fallbackList(bool fixedPitch)
{
    if (fixedPitch) {
        return {QStringLiteral("IPAGothic"),
                QStringLiteral("IPAexGothic"),
                QStringLiteral("Noto Sans Mono CJK JP"),
                QStringLiteral("Noto Sans CJK JP"),
                QStringLiteral("Source Han Sans JP"),
                QStringLiteral("VL Gothic"),
                QStringLiteral("TakaoGothic"),
                QStringLiteral("TakaoExGothic"),
                QStringLiteral("IPAPGothic"),
                QStringLiteral("VL PGothic"),
                QStringLiteral("TakaoPGothic")};
    }
    return {QStringLiteral("IPAPGothic"),
            QStringLiteral("IPAexGothic"),
            QStringLiteral("Noto Sans CJK JP"),
            QStringLiteral("Source Han Sans JP"),
            QStringLiteral("VL PGothic"),
            QStringLiteral("TakaoPGothic"),
            QStringLiteral("TakaoExGothic"),
            QStringLiteral("IPAGothic"),
            QStringLiteral("Noto Sans Mono CJK JP"),
            QStringLiteral("VL Gothic"),
            QStringLiteral("TakaoGothic")};
}

QString choose(const QStringList& candidates, const QStringList& available)
{
    for (const QString& c : candidates) {
        for (const QString& a : available) {
            if (a.compare(c, Qt::CaseInsensitive) == 0) {
                return a;
            }
        }
    }
    return {};
}

Chosen install()
{
    const QStringList available = QFontDatabase::families(QFontDatabase::Japanese);
    Chosen chosen;
    chosen.gothic = choose(fallbackList(true), available);
    chosen.pgothic = choose(fallbackList(false), available);
    // A Japanese face the list does not know is still better than boxes.
    if (chosen.gothic.isEmpty()) {
        chosen.gothic = available.value(0);
    }
    if (chosen.pgothic.isEmpty()) {
        chosen.pgothic = available.value(0);
    }
    if (!chosen.found()) {
        return {};
    }
    QFont::removeSubstitutions(gothicFace());
    QFont::removeSubstitutions(pgothicFace());
    QFont::insertSubstitutions(gothicFace(),
                               substitutes(chosen.gothic, fallbackList(true), available));
    QFont::insertSubstitutions(pgothicFace(),
                               substitutes(chosen.pgothic, fallbackList(false), available));
    return chosen;
}

QString missingFontMessage()
{
    // Without a Japanese font the Japanese lines show as boxes: the English
    // one and the package name are what can be read.
    return QStringLiteral("日本語のフォントが見つからないため、文字が正しく表示されません。\n"
                          "パッケージ fonts-ipafont-gothic をインストールしてから、"
                          "もう一度起動して下さい。\n\n"
                          "No Japanese font was found, so the text cannot be shown.\n"
                          "Please install the package fonts-ipafont-gothic and start again.");
}

bool isDesignFace(const QFont& font)
{
    const QString family = font.family();
    return family == gothicFace() || family == pgothicFace();
}

double designLineHeight(int pixelSize)
{
    return std::ceil(pixelSize * (IpaAscent + IpaDescent) - 0.01);
}

void drawText(QPainter& painter, const QRectF& rect, const QString& text, const QTextOption& option)
{
    const QFont& font = painter.font();
    const QFontMetricsF metrics(font);
    const int px = font.pixelSize();
    const double ascent = px * IpaAscent;
    // The IPA faces themselves (and any face with their metrics) draw as Qt
    // lays them out.
    if (!isDesignFace(font) || px <= 0 || std::abs(metrics.ascent() - ascent) < 0.5) {
        painter.drawText(rect, text, option);
        return;
    }
    QTextLayout layout(text, font, painter.device());
    layout.setTextOption(option);
    layout.beginLayout();
    const double step = px * (IpaAscent + IpaDescent);
    double top = 0.0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(rect.width());
        line.setPosition(QPointF(0.0, top + ascent - line.ascent()));
        top += step;
    }
    layout.endLayout();
    layout.draw(&painter, rect.topLeft());
}

} // namespace JapaneseFonts
