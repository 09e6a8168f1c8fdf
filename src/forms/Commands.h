#pragma once

#include "forms/Prompts.h"

class Form1;

// The arrow buttons "次へ" (0) and "戻る" (1).
void ArrowButtonClick(Form1& form, int index);
// The result buttons 0..4 and the mark button 5.
void ResultButtonClick(Form1& form, int index);
// The quit button at the bottom right.
void QuitButtonClick(Form1& form);
// "戻る" inside the explanation panel.
void ExplanationBackClick(Form1& form);
// The window is closed through its title bar: save what leaving the series
// would save. False when marks could not be saved: the user is asked
// whether to close anyway.
bool WindowClosing(Form1& form);
// Goes on after a question a handler asked. True when the program ends, or
// the window may close.
bool AnswerQuestion(Form1& form, Question question, Dialogs::Answer answer);
// Leaves the series and brings back the series list screen.
void ShowSeriesList(Form1& form);
