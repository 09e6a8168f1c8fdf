#pragma once

#include "session/Prompts.h"

class MainScreen;

// The arrow buttons "次へ" (0) and "戻る" (1).
void ArrowButtonClick(MainScreen& form, int index);
// The result buttons 0..4 and the mark button 5.
void ResultButtonClick(MainScreen& form, int index);
// The quit button at the bottom right.
void QuitButtonClick(MainScreen& form);
// "戻る" inside the explanation panel.
void ExplanationBackClick(MainScreen& form);
// The window is closed through its title bar: save what leaving the series
// would save. False when marks could not be saved: the user is asked
// whether to close anyway.
bool WindowClosing(MainScreen& form);
// Goes on after a question a handler asked. True when the program ends, or
// the window may close.
bool AnswerQuestion(MainScreen& form, Question question, Dialogs::Answer answer);
// Leaves the series and brings back the series list screen.
void ShowSeriesList(MainScreen& form);
