#include "layout/BoardLayout.h"

#include "layout/TextMeasure.h"
#include "series/Problem.h"
#include "series/SeriesState.h"

#include <algorithm>

namespace
{

constexpr int MaxTerms = SeriesState::MaxTerms;
constexpr int MaxFrames = SeriesState::MaxFrames;

// A label sized to its text between two blanks, border included.
Box measured(const QString& text, const FontInfo& font, const TextMeasure& measure)
{
    const QSizeF extent = measure.measure(QLatin1Char(' ') + text + QLatin1Char(' '), font);
    return {0.0F, 0.0F, static_cast<float>(extent.width()) + BoardLayout::LabelBorder,
            static_cast<float>(extent.height()) + BoardLayout::LabelBorder};
}

// Terms flow like words in a paragraph from the top left of the board.
void flowTerms(BoardLayout& b, double W)
{
    if (b.terms.isEmpty()) {
        return;
    }
    b.terms[0].left = 360.0F;
    b.terms[0].top = 720.0F;
    double x = 360.0;
    double y = 720.0;
    for (qsizetype i = 1; i < b.terms.size(); ++i) {
        x = x + b.terms.at(i - 1).width + 150.0;
        if (x + b.terms.at(i).width > W - 150.0) {
            y += 350.0;
            x = 360.0;
        }
        b.terms[i].top = static_cast<float>(y);
        b.terms[i].left = static_cast<float>(x);
    }
}

Box frameBox(double left, double top, double width, double height)
{
    return {static_cast<float>(left), static_cast<float>(top), static_cast<float>(width),
            static_cast<float>(height)};
}

// A caption above its frame, centred on the frame's column.
void placeCaption(BoardLayout& b, int c, double columnCursor, double pitch)
{
    Box& caption = b.captions[c];
    caption.top = static_cast<float>(static_cast<double>(b.frames.at(c).top) - 100.0);
    caption.left =
        static_cast<float>((columnCursor + pitch / 2.0) - static_cast<double>(caption.width) / 2.0);
}

// Frames first..last side by side from the left, each P - 50 wide, the
// column cursor growing by `step`.
void placeRow(BoardLayout& b, int first, int last, double top, double height, double P, double step)
{
    double cursor = 50.0;
    for (int c = first; c <= last; ++c) {
        b.frames[c] = frameBox(cursor, top, P - 50.0, height);
        placeCaption(b, c, cursor, P);
        cursor += step;
    }
}

// Where a second row of frames starts: below the first frame.
double secondRowTop(const BoardLayout& b)
{
    return static_cast<double>(b.frames.at(0).top) + static_cast<double>(b.frames.at(0).height) +
           100.0;
}

// One frame above the other, each nearly the board's width, for two
// groups whose terms are too wide to stand side by side.
void stackPair(BoardLayout& b, double F, double W, double H, double firstRowHeight)
{
    b.frames[0] = frameBox(50.0, F, W - 400.0, firstRowHeight);
    const double t2 = secondRowTop(b);
    b.frames[1] = frameBox(50.0, t2, W - 400.0, H - 480.0 - t2 - 500.0);
    for (int c = 0; c < 2; ++c) {
        b.captions[c].top = static_cast<float>(static_cast<double>(b.frames.at(c).top) - 100.0);
        b.captions[c].left = 100.0F;
    }
}

void placeFrames(BoardLayout& b, double widest, double W, double H)
{
    // The frames start below the terms.
    double F = 2280.0;
    if (!b.terms.isEmpty()) {
        const double bottom =
            static_cast<double>(b.terms.last().top) + static_cast<double>(b.terms.last().height);
        F = 2280.0 < bottom ? bottom + 300.0 : F;
    }
    const int G = static_cast<int>(b.frames.size());
    const double firstRowHeight = (H - F - 270.0) / 2.0 - 500.0;
    const auto secondRow = [&](int first, int last, double P, double step) {
        const double t2 = secondRowTop(b);
        placeRow(b, first, last, t2, H - 480.0 - t2 - 500.0, P, step);
    };
    if (G == 2 && widest > (W - 80.0) / 2.0) {
        stackPair(b, F, W, H, firstRowHeight);
    } else if (G == 4 && widest > (W - 80.0) / 4.0) {
        // Two by two; the second row steps 10 rather than 15.
        const double P = (W - 250.0) / 2.0 - 50.0;
        placeRow(b, 0, 1, F, firstRowHeight, P, P + 15.0);
        secondRow(2, 3, P, P + 10.0);
    } else if (G > 0 && G < 5) {
        const double P = (W - (G + 1) * 50.0 - 50.0) / G - 5.0;
        placeRow(b, 0, G - 1, F, H - 480.0 - F - 500.0, P, P + 15.0);
    } else if (G >= 5) {
        // Three frames above, the rest below.
        const double P = (W - 250.0) / 3.0 - 50.0;
        placeRow(b, 0, 2, F, firstRowHeight, P, P + 15.0);
        secondRow(3, G - 1, P, P + 10.0);
    }
}

// The controls around the board follow the window's size.
void placeControls(BoardLayout& b, double W, double H)
{
    b.quitTop = static_cast<float>(H - 930.0);
    b.nextLeft = static_cast<float>(W - BoardLayout::ArrowWidth - 250.0);
    b.previousLeft =
        static_cast<float>(W - BoardLayout::ArrowWidth - BoardLayout::ArrowWidth - 250.0);
    b.quitLeft = static_cast<float>(W - BoardLayout::QuitWidth - 200.0);
    b.question.width = static_cast<float>(static_cast<double>(b.previousLeft) -
                                          BoardLayout::DesignQuestion.left - 280.0);
    b.instructionTop = static_cast<float>(H - 900.0);
}

} // namespace

FontInfo BoardLayout::termFont()
{
    return {QString::fromUtf16(FontInfo::PGothic), 11.25, false};
}

FontInfo BoardLayout::captionFont()
{
    return {QString::fromUtf16(FontInfo::Gothic), 12, true};
}

BoardLayout BoardLayout::of(const Problem& problem, QSizeF client, const TextMeasure& measure)
{
    BoardLayout b;
    b.outerWidth = static_cast<float>(client.width()) + FrameWidth;
    b.outerHeight = static_cast<float>(client.height()) + FrameHeight;
    const double W = b.outerWidth;
    const double H = b.outerHeight;
    double widest = 0.0;
    const int terms = std::min<int>(static_cast<int>(problem.terms.size()), MaxTerms);
    for (int i = 0; i < terms; ++i) {
        b.terms.append(measured(problem.terms.at(i), termFont(), measure));
        widest = std::max(widest, static_cast<double>(b.terms.last().width));
    }
    b.termHeight = b.terms.isEmpty() ? 0.0F : b.terms.first().height;
    const int groups = std::min<int>(static_cast<int>(problem.groups.size()), MaxFrames);
    for (int c = 0; c < groups; ++c) {
        b.captions.append(measured(problem.groups.at(c), captionFont(), measure));
    }
    b.frames.resize(groups);
    placeControls(b, W, H);
    flowTerms(b, W);
    placeFrames(b, widest, W, H);
    return b;
}

Box BoardLayout::slot(int frame, int slot, float termWidth) const
{
    const Box& f = frames.at(frame);
    return {f.left + SlotIndent, f.top + SlotsTop + static_cast<float>(slot) * termHeight,
            termWidth, termHeight};
}

bool BoardLayout::fits(int frame, int slotIndex) const
{
    const Box& f = frames.at(frame);
    return slot(frame, slotIndex, 0.0F).top + termHeight / 2.0F <= f.top + f.height;
}

int BoardLayout::roomIn(int frame) const
{
    int slots = 0;
    while (slots < MaxTerms && fits(frame, slots)) {
        ++slots;
    }
    return slots;
}

float BoardLayout::parkTop() const
{
    return frames.isEmpty() ? 0.0F : frames.first().top - 150.0F - termHeight;
}

int BoardLayout::frameAt(const Box& term) const
{
    const float cx = term.centreX();
    const float cy = term.centreY();
    for (qsizetype c = 0; c < frames.size(); ++c) {
        const Box& f = frames.at(c);
        if (f.left < cx && cx < f.left + f.width && f.top - 100.0F < cy && cy < f.top + f.height) {
            return static_cast<int>(c);
        }
    }
    return -1;
}

Box BoardLayout::keptOnBoard(Box term) const
{
    if (term.centreX() < 0.0F) {
        term.left = 0.0F;
    }
    if (term.centreX() > outerWidth - 100.0F) {
        term.left = outerWidth - term.width - 20.0F;
    }
    if (term.centreY() > outerHeight - 450.0F) {
        term.top = outerHeight - term.height - 600.0F;
    }
    if (term.centreY() < 700.0F) {
        term.top = 720.0F;
    }
    return term;
}
