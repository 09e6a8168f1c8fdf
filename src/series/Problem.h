#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Where the parts of a problem stand in its file, 1-based; 0 for a part it
// does not have.
struct SourceLines {
    int heading = 0; // 問題/設問, or a marked record's first line
    int terms = 0;
    int groups = 0;
    int answer = 0;
    int explanation = 0;
    int end = 0; // its last line
    friend bool operator==(const SourceLines&, const SourceLines&) = default;
};

// One problem as read, split into what the board shows.
struct Problem {
    QString heading;  // up to the first blank of the question line
    QString question; // the rest, from that blank on
    QStringList terms;
    QStringList groups;
    QList<int> groupOfTerm; // 1-based, one for each term as written
    QString explanation;
    SourceLines lines;
    // A marked problem's five lines exactly as its record held them: a
    // record may write its lists in forms ("1,2" without the last comma,
    // " 1") that formatting the values would not give back byte for byte.
    QStringList recordText;

    QString fullQuestion() const { return heading + question; }
    friend bool operator==(const Problem&, const Problem&) = default;
};

namespace Problems
{

// Splits a question line where the board splits it: before the first blank
// of either width, the heading never longer than nine characters.
void setQuestion(Problem& problem, QStringView text);

// The fields of a comma-terminated list ("ウニ,ヒトデ,").
QStringList commaFields(const QString& list);

// A problem from the five lines of a marked record (question, terms,
// groups, answers, explanation), the first of them at line `firstLine`.
Problem fromRecord(const QStringList& record, int firstLine = 0);

// The five lines the marks file holds for a problem.
QStringList record(const Problem& problem);

} // namespace Problems
