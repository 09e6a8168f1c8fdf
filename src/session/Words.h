#pragma once

#include <QString>

#include <optional>

class Control;
class MainScreen;

// What the session's controls are called for a screen reader and for the
// classroom page: one wording for every front end.
namespace Words
{

// "枠2「軟体動物」".
QString frameName(const MainScreen& screen, int frame);
// Whether a term lies in its own frame, as far as the learner has been
// told: every term once the whole answer is checked, and a term that kept
// its right colour while another was moved out; nothing before.
std::optional<bool> termRight(const MainScreen& screen, int term);
// Where a term lies and how it was judged, or how to carry it on.
QString termDescription(const MainScreen& screen, int term);
// A control's accessible name: its caption, or a fuller name where two
// controls say the same.
QString nameOf(const MainScreen& screen, const Control& control);

} // namespace Words
