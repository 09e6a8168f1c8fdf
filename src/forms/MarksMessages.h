#pragma once

class Form1;
struct MarksWrite;

// Turns what became of a write of the marks file into the window's message
// boxes. The window's side of ReadMarksFile, AppendMarkedProblem,
// SaveUnsavedMarks and RewriteMarksFile lives here too.
namespace MarksMessages
{

// Tells the user, in one message box, what there is to tell about a write
// in the course of the program. Returns whether the file was written.
bool tell(Form1& form, const MarksWrite& result);

// The program is about to end and `last` was its last try to write the
// marks file. When that failed and marks would be lost, says so plainly and
// asks whether to quit anyway. Returns true when the program may end.
bool mayEnd(Form1& form, const MarksWrite& last);

} // namespace MarksMessages
