#pragma once

class Form1;

// Loads the series selected in List1 and shows its first problem; entry 0
// replays the marks file.
void OpenSelectedSeries(Form1& form);
