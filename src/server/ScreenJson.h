#pragma once

#include "session/SoundCue.h"

#include <QJsonObject>
#include <QString>

class MainScreen;

// The screen model as the page draws it: every control that is shown, in
// twips, with its caption, font and colours, and the accessible names the
// window gives them. Never the answer: a term says it is right only once
// the answer has been checked.
namespace ScreenJson
{

QJsonObject of(const MainScreen& screen);
QString cueName(SoundCue cue);
QString reviewTitle(int count);

} // namespace ScreenJson
