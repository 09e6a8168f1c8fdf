#pragma once

#include "session/SoundCue.h"

#include <QJsonObject>
#include <QLatin1StringView>
#include <QList>
#include <QString>

#include <array>

class Control;
class JsonWriter;
class MainScreen;

// The screen model as the page draws it: every control that is shown, in
// twips, with its caption, font and colours, and the accessible names the
// window gives them. Never the answer: a term says it is right only once
// the answer has been checked.
namespace ScreenJson
{

// What the page needs to foresee the moves it sends before their replies
// come: each frame's slots (the first one's left and top, the step to the
// next, how many fit), the frames the arrow keys carry a term to from it
// (left, right, up, down), and where a term waits when its frame is full.
// Worked out by the layout and by the carry verb itself, which is asked
// frame by frame and left as it was.
struct Foresight {
    struct Frame {
        std::array<float, 3> first{}; // left, top, step
        int room = 0;
        std::array<int, 4> steps{};
    };
    QList<Frame> frames;
    float park = 0.0F;
};
Foresight foresee(MainScreen& screen);

// What a front end shows otherwise than the screen has it.
struct Shown {
    const Foresight* foresight = nullptr;
    // The instruction line's text in place of the screen's, when not empty.
    QString instruction;
    // Only the buttons these name, when not empty.
    QList<QLatin1StringView> buttons;
};

// The screen's members, written into the object `out` has open.
void write(JsonWriter& out, const MainScreen& screen, const Shown& shown = {});
// The screen as one object, for what reads it rather than sends it.
QJsonObject of(const MainScreen& screen);

// The control a verb left the keyboard focus on, as the page names it:
// "term:3", "button:next", "explanation", or none.
QString focusName(const MainScreen& screen, const Control* focus);
QString cueName(SoundCue cue);

} // namespace ScreenJson
