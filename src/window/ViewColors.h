#pragma once

#include <QColor>
#include <QPalette>
#include <utility>

// Colours under any desktop colour scheme. The window's design colours (the
// light-cyan window, the group colours, white and grey panels) are drawn as
// designed. Where the design names a system colour, the colour and the text
// drawn on it come as a pair from the same palette (button face with button
// text), so they agree under a light, a dark or a high-contrast scheme.
namespace ViewColors
{

// Background and text colour of a label, from the model's colours.
std::pair<QColor, QColor> labelColors(quint32 back, quint32 fore, const QPalette& palette);

// WCAG contrast ratio of two colours, 1 to 21.
double contrast(const QColor& a, const QColor& b);

} // namespace ViewColors
