#pragma once

#include "series/Finding.h"
#include "series/Problem.h"

#include <QList>
#include <QString>
#include <QStringList>

// The series file: problems under the headings 問題/設問, Ａ群/語群,
// Ｂ群/分類群, 正解/解答 and 解説.
namespace SeriesParser
{

bool isBlank(QChar c);
QString trimBlanks(const QString& s);
QString leftTrimBlanks(const QString& s);
bool beginsWith(const QString& line, QStringView word);

// "・ウニ　・ヒトデ" with prefix length 1 gives ウニ and ヒトデ; a comma
// within an entry parts it further.
QStringList prefixedEntries(const QString& text, int prefixLength);
// "正解a,a,b," gives 1, 1, 2: every other letter from the third on.
QList<int> answerGroups(const QString& line);

// One problem as the parser read it, and what the checks need to know about
// how it was written.
struct Draft {
    Problem problem;
    bool hasTerms = false;
    bool hasGroups = false;
    bool hasAnswer = false;
    bool cutShort = false; // the next heading came before its answer line
    QString rawGroupText;  // group text before splitting, for the prefix check
    QString answerLine;    // trimmed answer line
};

// Problems in file order, with the line of every orphan question (one that
// never reached its term section before the next question began, or before
// the end of the file). Every question heading starts the next problem
// clean: nothing of a problem cut short runs into the next.
struct Result {
    QList<Draft> problems;
    QList<int> orphanQuestionLines;
    QList<int> cutShortOrphanLines; // those of them the next heading cut short
    // Lines read other than a reader might think: a heading found after a
    // tab, a second answer or explanation heading in one problem.
    Findings warnings;
};

Result parse(const QStringList& lines);

// Why a problem cannot be shown or solved; empty when it can.
QString problemFault(const Draft& draft);

// Counts the fields of a comma-terminated list.
int countFields(const QString& list);

} // namespace SeriesParser
