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

} // namespace ScreenJson
