#pragma once

#include "session/Prompts.h"

class MainScreen;

// The arrow buttons "次へ" (0) and "戻る" (1), on a problem being answered.
void ArrowButtonClick(MainScreen& screen, int index);
// The result buttons 0..4 and the mark button 5.
void ResultButtonClick(MainScreen& screen, int index);
// The quit button at the bottom right.
void QuitButtonClick(MainScreen& screen);
// "戻る" inside the explanation panel.
void ExplanationBackClick(MainScreen& screen);
// The window is closed through its title bar: save what leaving the series
// would save. False when marks could not be saved: the user is asked
// whether to close anyway.
bool WindowClosing(MainScreen& screen);
// Goes on after a question a handler asked. True when the program ends, or
// the window may close.
bool AnswerQuestion(MainScreen& screen, Question question, Dialogs::Answer answer);
// Sets the mark button to offer marking the problem on the board, or taking
// its mark back.
void OfferMark(MainScreen& screen, bool mark);
// Leaves the series and brings back the series list screen.
void ShowSeriesList(MainScreen& screen);
