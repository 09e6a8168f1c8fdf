#pragma once

#include "session/SoundCue.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

class Control;
class MainScreen;

// The screen model as the page draws it: every control that is shown, in
// twips, with its caption, font and colours, and the accessible names the
// window gives them. Never the answer: a term says it is right only once
// the answer has been checked.
namespace ScreenJson
{

QJsonObject of(const MainScreen& screen);
// The control a verb left the keyboard focus on, as the page names it:
// "term:3", "button:next", "explanation", or null.
QJsonValue focusName(const MainScreen& screen, const Control* focus);
QString cueName(SoundCue cue);

// What the page needs to foresee the moves it sends before their replies
// come, added to the board of `state` (of(screen)): each frame's slots
// ("slots": the first one's left and top, the step to the next, how many
// fit), the frame the arrow keys carry a term to from it ("steps": left,
// right, up, down), and where a term waits when its frame is full ("park").
// Worked out by the layout and by the carry verb itself, which is asked
// frame by frame and left as it was.
void addForesight(QJsonObject& state, MainScreen& screen);

} // namespace ScreenJson
