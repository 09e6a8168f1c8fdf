#pragma once

#include <QtGlobal>

#include <array>

// Colours are kept as the window system stores them: 0x00BBGGRR, or
// 0x80000000 + n for system colour n.
namespace Colors
{

constexpr quint32 rgb(int r, int g, int b)
{
    return static_cast<quint32>(r) | (static_cast<quint32>(g) << 8) |
           (static_cast<quint32>(b) << 16);
}

constexpr quint32 SystemFlag = 0x80000000U;
constexpr quint32 ButtonFace = SystemFlag + 15U; // resting colour of term labels
constexpr quint32 WindowText = SystemFlag + 18U; // default text colour
constexpr quint32 White = rgb(255, 255, 255);
constexpr quint32 Black = rgb(0, 0, 0);

// The caption colours of the six group frames; a term placed correctly
// takes the colour of its group's caption.
constexpr std::array<quint32, 6> GroupCaptions = {rgb(255, 255, 128), rgb(128, 255, 128),
                                                  rgb(255, 128, 255), rgb(0, 192, 192),
                                                  rgb(255, 192, 128), rgb(192, 192, 255)};

constexpr bool isSystem(quint32 c)
{
    return (c & SystemFlag) != 0;
}
constexpr int red(quint32 c)
{
    return static_cast<int>(c & 0xFFU);
}
constexpr int green(quint32 c)
{
    return static_cast<int>((c >> 8) & 0xFFU);
}
constexpr int blue(quint32 c)
{
    return static_cast<int>((c >> 16) & 0xFFU);
}

} // namespace Colors
