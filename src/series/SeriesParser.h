#pragma once

#include "series/Finding.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// The series file: problems under the headings 問題/設問, Ａ群/語群,
// Ｂ群/分類群, 正解/解答 and 解説.
namespace SeriesParser
{

bool isBlank(QChar c);
QString trimBlanks(const QString& s);
QString leftTrimBlanks(const QString& s);
bool beginsWith(const QString& line, QStringView word);

// "・ウニ　・ヒトデ" with prefix length 1 gives "ウニ,ヒトデ,".
QString SplitPrefixedList(const QString& text, int prefixLength);
// "正解a,a,b," gives "1,1,2,".
QString ConvertAnswerLine(const QString& line);

// One problem as the parser stored it: the five table columns, and what the
// checks need to know about where it came from.
struct Problem {
    std::array<QString, 5> columns; // question, items, groups, answers, explanation
    int line = 0;                   // line of its 問題/設問 heading
    int endLine = 0;                // its last line, before the next heading or the end
    bool hasItems = false;
    bool hasGroups = false;
    bool hasAnswer = false;
    bool cutShort = false; // the next heading came before its answer line
    QString rawGroupText;  // group text before splitting, for the prefix check
    QString answerLine;    // trimmed answer line
};

// Problems in file order, with the line of every orphan question (one that
// never reached its item section before the next question began, or before
// the end of the file). Every question heading starts the next problem
// clean: nothing of a problem cut short runs into the next.
struct Result {
    QList<Problem> problems;
    QList<int> orphanQuestionLines;
    QList<int> cutShortOrphanLines; // those of them the next heading cut short
    // Lines read other than a reader might think: a heading found after a
    // tab, a second answer or explanation heading in one problem.
    Findings warnings;
};

Result parse(const QStringList& lines);

// Why a problem cannot be shown or solved; empty when it can.
QString problemFault(const Problem& problem);

// Counts the fields of a comma-terminated list.
int countFields(const QString& list);

} // namespace SeriesParser
