#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;
class QTextOption;

// The Japanese faces the window is drawn in. The IPA faces come first: the
// layout's heights were made with their metrics. Where they are missing, the
// first Japanese face of the fallback list found on the machine stands in,
// drawn on the IPA faces' line heights and baselines, so labels keep their
// design heights and a problem its frame layout on every machine.
namespace JapaneseFonts
{

// The faces tried for the fixed-pitch or the proportional design face, best
// first.
QStringList fallbackList(bool fixedPitch);

// The first of `candidates` that is among `available` (letter case aside);
// empty when none is.
QString choose(const QStringList& candidates, const QStringList& available);

struct Chosen {
    QString gothic;  // stands for the fixed-pitch design face
    QString pgothic; // stands for the proportional design face
    bool found() const { return !gothic.isEmpty() && !pgothic.isEmpty(); }
};

// Maps the two design faces to the best Japanese faces installed, each
// followed by the other candidates found, so that a character missing from
// one face comes from the next instead of an empty box. Call once before any
// font is made. Returns what stands for each face; nothing when the machine
// has no Japanese font at all.
Chosen install();

// What to tell the user when install() found no Japanese font.
QString missingFontMessage();

// True for a font made for one of the two design faces.
bool isDesignFace(const QFont& font);
// One line of a design face in pixels, as the IPA faces give it, whatever
// face actually draws it.
double designLineHeight(int pixelSize);

// Draws text like QPainter::drawText(rect, text, option); a design face
// drawn by a face with other metrics is set on the IPA faces' baselines and
// line spacing, so it fits the same labels.
void drawText(QPainter& painter, const QRectF& rect, const QString& text,
              const QTextOption& option);

} // namespace JapaneseFonts
