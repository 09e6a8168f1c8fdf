#include "series/Problem.h"

#include <gtest/gtest.h>

TEST(Problem, QuestionSplitsAtTheFirstBlankOfEitherWidthTheHeadingAtMostNine)
{
    struct Case {
        QString question, heading, rest;
    };
    const QList<Case> cases = {
        {QStringLiteral("問題１\u3000ウニの仲間"), QStringLiteral("問題１"),
         QStringLiteral("\u3000ウニの仲間")},
        {QStringLiteral("ab\u3000cd efg"), "ab", QStringLiteral("\u3000cd efg")},
        {QStringLiteral("問題1 次の\u3000語"), QStringLiteral("問題1"),
         QStringLiteral(" 次の\u3000語")},
        {QStringLiteral("問題一二三四五六七八九十壱弐参"), QStringLiteral("問題一二三四五六七"),
         QStringLiteral("八九十壱弐参")},
        {QStringLiteral("問題１"), QStringLiteral("問題１"), QString()},
        {QString(), QString(), QString()},
    };
    for (const Case& c : cases) {
        Problem p;
        Problems::setQuestion(p, c.question);
        EXPECT_EQ(p.heading, c.heading) << c.question.toStdString();
        EXPECT_EQ(p.question, c.rest) << c.question.toStdString();
    }
}

TEST(Problem, RecordListsKeepEmptyFieldsAndAnAnswerWithoutDigitsIsZero)
{
    // Lists as a hand or another program may write them: the last comma
    // left out, blanks and signs before a number.
    const Problem p = Problems::fromRecord(
        {QStringLiteral("問題１ x"), QStringLiteral("ウニ,,ヒトデ"), "a,b,", " 2,x,+1", ""});
    EXPECT_EQ(p.terms, QStringList({QStringLiteral("ウニ"), "", QStringLiteral("ヒトデ")}));
    EXPECT_EQ(p.groups, QStringList({"a", "b"}));
    EXPECT_EQ(p.groupOfTerm, QList<int>({2, 0, 1}));
    // A list without a comma is one field; an empty one has none.
    EXPECT_EQ(Problems::commaFields("no commas"), QStringList{"no commas"});
    EXPECT_TRUE(Problems::commaFields("").isEmpty());
}
