#pragma once

#include "layout/FontInfo.h"

#include <QList>
#include <QSizeF>

class TextMeasure;
struct Problem;

// A rectangle on the board in twips, relative to the window's client area.
struct Box {
    float left = 0.0F;
    float top = 0.0F;
    float width = 0.0F;
    float height = 0.0F;

    float centreX() const { return left + width / 2.0F; }
    float centreY() const { return top + height / 2.0F; }
    friend bool operator==(const Box&, const Box&) = default;
};

// Where one problem's parts lie on a board of a given size: the question,
// the terms at rest, the frames with their captions, and every frame's
// slots. A plain value, the same for the window, the preview, the check of
// a teacher's files and the browser board.
struct BoardLayout {
    // The window's frame around the client area; the board is laid out on
    // the outer size.
    static constexpr float FrameWidth = 120.0F;
    static constexpr float FrameHeight = 405.0F;
    // Controls the board makes room for.
    static constexpr float ArrowWidth = 555.0F;
    static constexpr float QuitWidth = 855.0F;
    // The heading and the question at the design size; the question's
    // width follows the window's.
    static constexpr Box DesignHeading{120.0F, 120.0F, 975.0F, 435.0F};
    static constexpr Box DesignQuestion{1080.0F, 120.0F, 6255.0F, 615.0F};
    // A term in a frame: indented from the frame's left, its slots stacked
    // one term high below the caption.
    static constexpr float SlotIndent = 120.0F;
    static constexpr float SlotsTop = 250.0F;
    // Labels with a single-line border gain one pixel on each side.
    static constexpr float LabelBorder = 30.0F;

    static FontInfo termFont();
    static FontInfo captionFont();

    // Lays out `problem` on a client area of `client` twips.
    static BoardLayout of(const Problem& problem, QSizeF client, const TextMeasure& measure);

    float outerWidth = 0.0F;
    float outerHeight = 0.0F;
    QList<Box> terms;    // at rest, as the problem starts
    QList<Box> frames;   // one per group shown
    QList<Box> captions; // one per frame, over its top edge
    float termHeight = 0.0F;
    Box heading = DesignHeading;
    Box question = DesignQuestion;
    float nextLeft = 0.0F;
    float previousLeft = 0.0F;
    float quitLeft = 0.0F;
    float quitTop = 0.0F;
    float instructionTop = 0.0F;

    // Where a term `termWidth` wide lies in slot `slot` of `frame`.
    Box slot(int frame, int slot, float termWidth) const;
    // Whether a term in slot `slot` of `frame` shows in it: its middle
    // stays inside the frame.
    bool fits(int frame, int slot) const;
    // How many terms fit below each other in a frame.
    int roomIn(int frame) const;
    // Where a term goes when its frame has no room: above the frames.
    float parkTop() const;
    // The frame a term dropped at `term` falls into, or -1: the first
    // whose area, stretched up over its caption, holds the term's centre.
    int frameAt(const Box& term) const;
    // A term let go off the board, moved back onto it.
    Box keptOnBoard(Box term) const;
};
