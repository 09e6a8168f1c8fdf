// Class lists as teachers' spreadsheets leave them, beyond the Excel CSV the
// code-card test registers: a quoted line end inside a name, a tab-separated
// export, UTF-16, and faults named by the line they are on.
#include "server/admin/ClassList.h"

#include <gtest/gtest.h>

namespace
{

QByteArray utf8(const char* text)
{
    return QByteArray(text);
}

TEST(ClassList, LinesAreCountedPastAQuotedLineEnd)
{
    // Excel quotes a cell holding Alt+Enter; the line after it is line 4.
    const ClassList::Read r =
        ClassList::fromBytes(utf8("名前\r\n\"山田\n太郎\",1\r\n佐藤\r\n佐藤\r\n"), true);
    ASSERT_EQ(r.errors.size(), 2) << r.errors.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(r.errors.at(0).startsWith(QStringLiteral("2行目: 名前に改行")));
    EXPECT_TRUE(r.errors.at(1).startsWith(QStringLiteral("5行目: 「佐藤」は4行目と同じ名前です")));
}

TEST(ClassList, TextExportTakesTheFirstColumnAndKeepsQuotes)
{
    const ClassList::Read r =
        ClassList::fromBytes(utf8("氏名\t番号\n\"あおい\"\t1\nれん, 2\t2\n"), false);
    EXPECT_TRUE(r.errors.isEmpty());
    EXPECT_EQ(r.names, (QStringList{QStringLiteral("\"あおい\""), QStringLiteral("れん, 2")}));
}

TEST(ClassList, WhatCannotBeReadIsRefusedWhole)
{
    const QByteArray utf16 = QByteArray("\xff\xfe", 2) +
                             QByteArray(reinterpret_cast<const char*>(u"名前\r\n山田\r\n"), 16);
    EXPECT_TRUE(ClassList::fromBytes(utf16, true).names.isEmpty());
    EXPECT_TRUE(ClassList::fromBytes(utf16, true).errors.at(0).contains(QStringLiteral("UTF-16")));
    EXPECT_EQ(ClassList::fromBytes(utf8("名前,番号\r\n,\r\n"), true).errors,
              QStringList{QStringLiteral("名簿に名前がありません")});
    // A byte that is neither code page 932 nor UTF-8.
    EXPECT_FALSE(ClassList::fromBytes(QByteArray("\x82\xa0\xff\r\n", 4), true).errors.isEmpty());
}

// The header row decides the columns, in any order, others passed over: a
// grade in one file, the same name in two classes, numbers read.
TEST(ClassList, AHeaderRowNamesClassNumberAndNameInAnyOrder)
{
    const ClassList::Read r = ClassList::fromBytes(
        utf8("ふりがな,氏名,出席番号,組\r\nあおい,青井 葵,2,1A\r\nれん,赤木 蓮,1,1B\r\n"
             "あおい,青井 葵,3,1B\r\n"),
        true);
    ASSERT_TRUE(r.errors.isEmpty()) << r.errors.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(r.classColumn);
    ASSERT_EQ(r.learners.size(), 3);
    EXPECT_EQ(r.learners.at(0).className, QStringLiteral("1A"));
    EXPECT_EQ(r.learners.at(0).number, 2);
    EXPECT_EQ(r.learners.at(0).name, QStringLiteral("青井 葵"));
    EXPECT_EQ(r.learners.at(2).className, QStringLiteral("1B"));
    EXPECT_EQ(r.learners.at(2).line, 4);
    // 出席番号 and 氏名 alone: no learner is named 出席番号, nor a number.
    const ClassList::Read numbered =
        ClassList::fromBytes(utf8("出席番号,氏名\r\n1,青井\r\n"), true);
    EXPECT_EQ(numbered.names, QStringList{QStringLiteral("青井")});
    EXPECT_FALSE(numbered.classColumn);
}

// Lists as schools keep them: a title above the header, 姓 and 名 apart,
// 学年 and 組 apart, numbers typed full-width, and a header whose name column is called
// something else, which must not make learners of its words.
TEST(ClassList, FamilyAndGivenNamesJoinAndAHeaderWithoutANameIsRefused)
{
    const ClassList::Read split = ClassList::fromBytes(
        utf8("令和8年度 1年 名簿,,,\r\n,,,\r\n番号,姓,名,組\r\n１２,青井,葵,1A\r\n3,赤木,,1A\r\n"),
        true);
    ASSERT_TRUE(split.errors.isEmpty()) << split.errors.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(split.names, (QStringList{QStringLiteral("青井　葵"), QStringLiteral("赤木")}));
    EXPECT_EQ(split.headerLine, 3);
    EXPECT_EQ(split.learners.at(0).number, 12);
    EXPECT_EQ(split.learners.at(0).line, 4);
    EXPECT_EQ(split.learners.at(0).className, QStringLiteral("1A"));
    // 学年 and 組 apart, as a school's office exports them: one class each.
    const ClassList::Read grades = ClassList::fromBytes(
        utf8("学年,組,番号,氏名\r\n1,1,1,青井\r\n2,1,1,赤木\r\n2,B,2,黄田\r\n3,3年2組,1,緑川\r\n"),
        true);
    ASSERT_TRUE(grades.errors.isEmpty()) << grades.errors.join(QLatin1Char('|')).toStdString();
    QStringList classes;
    for (const ClassList::Learner& l : grades.learners) {
        classes.append(l.className);
    }
    EXPECT_EQ(classes, (QStringList{QStringLiteral("1年1組"), QStringLiteral("2年1組"),
                                    QStringLiteral("2年B組"), QStringLiteral("3年2組")}));
    const ClassList::Read unnamed =
        ClassList::fromBytes(utf8("出席番号,生徒氏名\r\n1,青井\r\n"), true);
    EXPECT_TRUE(unnamed.names.isEmpty());
    ASSERT_EQ(unnamed.errors.size(), 1);
    EXPECT_TRUE(unnamed.errors.at(0).startsWith(QStringLiteral("1行目: 名前の列がありません")));
}

TEST(ClassList, FaultsOfAClassListAreNamedByTheirLine)
{
    const ClassList::Read r = ClassList::fromBytes(
        utf8("組,番号,名前\r\n1A,x,青井\r\n1A,3,赤木\r\n1A,3,黄田\r\n,4,緑川\r\n"), true);
    ASSERT_EQ(r.errors.size(), 3) << r.errors.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(r.errors.at(0).startsWith(QStringLiteral("2行目: 番号「x」")));
    EXPECT_TRUE(r.errors.at(1).startsWith(QStringLiteral("4行目: 番号 3 は3行目と同じ")));
    EXPECT_TRUE(r.errors.at(2).startsWith(QStringLiteral("5行目: 「緑川」の組がありません")));
}

} // namespace
