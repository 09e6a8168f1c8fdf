#pragma once

#include "quiz/Quiz.h"
#include "series/Problem.h"

#include <QList>
#include <QString>

#include <optional>

class MainScreen;

// The problem on the board since it was last shown: the first check of a
// showing is its review, later ones are practice.
struct Showing {
    qint64 shownAtMs = 0;
    int checks = 0;
    bool operator==(const Showing&) const = default;
};

// A problem of today's review and the series file it is read from.
struct ReviewProblem {
    QString series;
    Problem problem;
};

namespace Recording
{

// Problems today's review plays at most.
constexpr int MaxReview = 50;
constexpr const char16_t* ReviewTitle = u"今日の復習";
// The list entry that opens today's review of `count` problems; `tuned`
// when the schedule uses parameters fitted to the class.
QString reviewEntry(qsizetype count, bool tuned = false);
// A problem by the series it is read from and its hash, as long as its text
// is still there: in the series file, or among the marks.
std::optional<Problem> findDue(MainScreen& screen, const QString& series, const QString& hash);

// A problem has just been shown.
void startShowing(MainScreen& screen);
// Logs a check of the answer on the board; tells the learner when it could
// not be written (it is kept and written with the next answer).
void recordCheck(MainScreen& screen, const Quiz::Check& check);
// Writes the answers whose write failed before the program ends, and tells
// the learner of those it still cannot write.
void saveBeforeEnd(MainScreen& screen);
// Reads what the record gained, finds the problems due now whose text is
// still there, and lists "今日の復習（N問）" after the catalogue's entries
// while there are any.
void updateReview(MainScreen& screen);
// The series list screen's part of the record: whose it is, the button
// that opens it, and today's review.
void showOnList(MainScreen& screen);
// The record's first read is in: the list, if it is on the screen, shows
// its part now.
void recordRead(MainScreen& screen);
// Leaves the learner's progress for the window to show.
void showProgress(MainScreen& screen);
// Opens today's review as a series of its own.
bool openReview(MainScreen& screen);

} // namespace Recording
