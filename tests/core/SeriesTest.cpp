#include "series/SeriesParser.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace
{

// The lists in the form the marks file writes them, "ウニ,ヒトデ,".
QString SplitPrefixedList(const QString& text, int prefixLength)
{
    Problem p;
    p.terms = SeriesParser::prefixedEntries(text, prefixLength);
    return Problems::record(p).at(1);
}
QString ConvertAnswerLine(const QString& line)
{
    Problem p;
    p.groupOfTerm = SeriesParser::answerGroups(line);
    return Problems::record(p).at(3);
}

// A harness whose catalogue lists one series file, "S.TXT", titled 動物.
struct Series : Harness {
    explicit Series(const QStringList& lines)
    {
        TestFiles::write(path("ZQCList.TXT"), TestFiles::lines({QStringLiteral("動物,S.TXT")}));
        TestFiles::write(path("S.TXT"), TestFiles::lines(lines));
        session->start();
        players.clear();
    }
    void open(int index = 1)
    {
        form->seriesList.ListIndex = index;
        session->open(form->seriesList.ListIndex);
    }
    // A part of a problem as its marked record would hold it.
    QString cell(int row, int col) const
    {
        return Problems::record(state.problems.at(row)).at(col);
    }
};

const QStringList OneProblem = {
    QStringLiteral("問題１\u3000ウニの仲間"),
    QStringLiteral("どれか。"),
    QStringLiteral("Ａ群"),
    QStringLiteral("・ウニ\u3000・ヒトデ  ・クモヒトデ"),
    QStringLiteral("Ｂ群"),
    QStringLiteral("ａ．棘皮動物\u3000ｂ．節足動物"),
    QStringLiteral("正解a,a,a,"),
    QStringLiteral("解説"),
    QStringLiteral("　どれも棘皮動物です。  "),
};

} // namespace

TEST(SeriesFormat, SplitPrefixedListOverBothBlanks)
{
    const QString expected = QStringLiteral("ウニ,ヒトデ,クモヒトデ,");
    EXPECT_EQ(SplitPrefixedList(QStringLiteral("・ウニ\u3000・ヒトデ ・クモヒトデ"), 1), expected);
    EXPECT_EQ(
        SplitPrefixedList(QStringLiteral("  ・ウニ \u3000 ・ヒトデ    ・クモヒトデ\u3000"), 1),
        expected);
    EXPECT_EQ(SplitPrefixedList(QStringLiteral("ａ．節足\u3000ｂ．軟体"), 2),
              QStringLiteral("節足,軟体,"));
    EXPECT_EQ(SplitPrefixedList(QString(), 1), QString());
    EXPECT_EQ(SplitPrefixedList(QStringLiteral("ａ．節足 ｂ"), 2), QStringLiteral("節足,,"));
}

TEST(SeriesFormat, ConvertAnswerLineReadsEveryOtherCharacter)
{
    EXPECT_EQ(ConvertAnswerLine(QStringLiteral("正解a,a,b,")), "1,1,2,");
    EXPECT_EQ(ConvertAnswerLine(QStringLiteral("正解a,a,b")), "1,1,") << "last letter unread";
    EXPECT_EQ(ConvertAnswerLine(QStringLiteral("\u3000解答f.e.d.  ")), "6,5,4,");
    EXPECT_EQ(ConvertAnswerLine(QStringLiteral("正解")), "");
    EXPECT_EQ(ConvertAnswerLine(QStringLiteral("正解j,")), "0,") << "the last digit of 10";
}

TEST(SeriesLoader, StoresTheProblemAsTheTableHoldsIt)
{
    Series s(OneProblem);
    s.open();
    EXPECT_EQ(s.cell(1, 0), QStringLiteral("問題１\u3000ウニの仲間どれか。"));
    EXPECT_EQ(s.cell(1, 1), QStringLiteral("ウニ,ヒトデ,クモヒトデ,"));
    EXPECT_EQ(s.cell(1, 2), QStringLiteral("棘皮動物,節足動物,"));
    EXPECT_EQ(s.cell(1, 3), "1,1,1,");
    EXPECT_EQ(s.cell(1, 4), QStringLiteral("\u3000どれも棘皮動物です。"))
        << "the explanation at the end of the file is kept";
    const Problem& p = s.state.problems[1];
    EXPECT_EQ(p.heading, QStringLiteral("問題１"));
    EXPECT_EQ(p.lines, (SourceLines{1, 3, 5, 7, 8, 9})) << "where each part stands";
    EXPECT_EQ(s.state.problemCount, 1);
    EXPECT_EQ(s.state.currentProblem, 1);
    EXPECT_FALSE(s.state.markedSeries);
    EXPECT_EQ(s.form->Caption, QStringLiteral("用語分類問題集 Velmorant < 動物 >"));
    EXPECT_FALSE(s.form->seriesList.Visible);
    EXPECT_FALSE(s.form->titlePicture.Visible);
    EXPECT_EQ(s.form->instructionLine.Caption(), QString::fromUtf16(MainScreen::DragPrompt));
    EXPECT_EQ(s.form->quiz.terms(), 3) << "problem 1 is on the board";
    EXPECT_TRUE(s.dialogs.messages.isEmpty());
}

TEST(SeriesLoader, AlternativeHeadingWordsBlanksAndLinesBeforeTheFirstProblem)
{
    Series s({QStringLiteral("動物の分類　第1集"), QStringLiteral("作成: 理科"),
              QStringLiteral("\u3000設問1 次の動物"), QStringLiteral(" 語群"),
              QStringLiteral("アカニ"), QStringLiteral(" イエビ"), QStringLiteral("\u3000分類群"),
              QStringLiteral("(1節足"), QStringLiteral("  解答a/a/"), QStringLiteral("カニとエビ"),
              QStringLiteral("は甲殻類。"), QString(), QStringLiteral("問題2 次"),
              QStringLiteral("Ａ群"), QStringLiteral("・x"), QStringLiteral("Ｂ群"),
              QStringLiteral("ａ．y"), QStringLiteral("正解a,")});
    s.open();
    ASSERT_EQ(s.state.problemCount, 2);
    EXPECT_EQ(s.cell(1, 0), QStringLiteral("設問1 次の動物"));
    EXPECT_EQ(s.cell(1, 1), QStringLiteral("カニ,エビ,")) << "term lines joined unchanged";
    EXPECT_EQ(s.cell(1, 2), QStringLiteral("節足,"));
    EXPECT_EQ(s.cell(1, 3), "1,1,");
    EXPECT_EQ(s.cell(1, 4), QStringLiteral("カニとエビは甲殻類。"))
        << "no 解説: no leading space, stored when the next problem begins";
    EXPECT_EQ(s.cell(2, 4), QString());
}

TEST(SeriesLoader, HeadingWordsCountOnlyAtTheStartAndInTheirSection)
{
    Series s({QStringLiteral("問題１ Ａ群とＢ群の語"), QStringLiteral("解説を読む問題"),
              QStringLiteral("Ａ群"), QStringLiteral("・ウニ 正解"), QStringLiteral("解説・ヒトデ"),
              QStringLiteral("Ｂ群"), QStringLiteral("ａ．棘皮"), QStringLiteral("正解a,a,"),
              QStringLiteral("前置き"), QStringLiteral("解説"), QStringLiteral("本文"),
              QStringLiteral("Ａ群は本文のうち")});
    s.open();
    ASSERT_EQ(s.state.problemCount, 1) << s.dialogs.messages.value(0).text.toStdString();
    EXPECT_EQ(s.cell(1, 0), QStringLiteral("問題１ Ａ群とＢ群の語解説を読む問題"));
    EXPECT_EQ(s.cell(1, 1), QStringLiteral("ウニ,解解説・ヒトデ,"))
        << "one prefix character dropped";
    EXPECT_EQ(s.cell(1, 4), QStringLiteral("\u3000本文Ａ群は本文のうち"))
        << "lines before 解説 are dropped";
}

TEST(SeriesLoader, ProblemCutShortIsLeftOutAndCarriesNothingIntoTheNext)
{
    Series s({QStringLiteral("問題１ 途中まで"),
              QStringLiteral("Ａ群"),
              QStringLiteral("・残り"),
              QStringLiteral("問題２ 完全"),
              QStringLiteral("Ａ群"),
              QStringLiteral(" ・ウニ"),
              QStringLiteral("Ｂ群"),
              QStringLiteral("ａ．棘皮"),
              QStringLiteral("正解a,"),
              QStringLiteral("問題３ 群まで"),
              QStringLiteral("Ａ群"),
              QStringLiteral("・エビ"),
              QStringLiteral("Ｂ群"),
              QStringLiteral("ａ．甲殻"),
              QStringLiteral("問題４ 見出しだけ"),
              QStringLiteral("問題５ 普通"),
              QStringLiteral("Ａ群"),
              QStringLiteral("・カニ"),
              QStringLiteral("Ｂ群"),
              QStringLiteral("ａ．節足"),
              QStringLiteral("正解a,")});
    s.open();
    ASSERT_EQ(s.state.problemCount, 2);
    EXPECT_EQ(s.cell(1, 0), QStringLiteral("問題２ 完全"));
    EXPECT_EQ(s.cell(1, 1), QStringLiteral("ウニ,")) << "exactly as written";
    EXPECT_EQ(s.cell(2, 0), QStringLiteral("問題５ 普通"));
    EXPECT_EQ(s.cell(2, 2), QStringLiteral("節足,"));
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    const QString msg = s.dialogs.messages[0].text;
    for (const int line : {1, 10, 15}) {
        EXPECT_TRUE(msg.contains(QStringLiteral("%1行目の問題: ").arg(line))) << line;
    }
    EXPECT_EQ(msg.count(QStringLiteral("ほかのどこにも入れていません")), 3) << msg.toStdString();
}

TEST(SeriesLoader, EveryRejectionNamesTheProblemsLine)
{
    auto problem = [](int n, const QString& terms, const QString& groups, const QString& answer) {
        return QStringList{QStringLiteral("問題%1 q").arg(n),
                           QStringLiteral("Ａ群"),
                           terms,
                           QStringLiteral("Ｂ群"),
                           groups,
                           answer};
    };
    QString many;
    for (int i = 0; i < 22; ++i) {
        many += QStringLiteral("・i%1 ").arg(i);
    }
    QStringList lines;
    lines += problem(1, QStringLiteral("・a"), QStringLiteral("ａ．g"), "正解a,"); // line 1: fine
    lines += problem(2, many, QStringLiteral("ａ．g"), "正解" + QString("a,").repeated(22)); // 7
    lines += problem(3, QStringLiteral("・a"), "ａ．1 ｂ．2 ｃ．3 ｄ．4 ｅ．5 ｆ．6 ｇ．7",
                     "正解a,");                                                    // 13
    lines += problem(4, QString(), QStringLiteral("ａ．g"), "正解a,");             // 19: no term
    lines += problem(5, QStringLiteral("・a"), QString(), "正解a,");               // 25: no group
    lines += problem(6, QStringLiteral("・a"), QStringLiteral("ａ．g"), "正解g,"); // 31
    lines += problem(7, QStringLiteral("・a"), QStringLiteral("ａ．g"), "正解b,"); // 37
    lines += problem(8, QStringLiteral("・a ・b"), QStringLiteral("ａ．g"), "正解a,"); // 43
    lines += problem(9, QStringLiteral("・a"), QStringLiteral("ａ．g ｂ"), "正解a,");  // 49
    lines += problem(10, QStringLiteral("・a"), QStringLiteral("ａ．g"), "正解A,");    // 55
    lines += {QStringLiteral("問題11 分類群なし"),
              QStringLiteral("Ａ群"),
              QStringLiteral("・a"),
              QStringLiteral("問題12 a"),
              QStringLiteral("語群"),
              QStringLiteral(" ・b"),
              QStringLiteral("分類群"),
              QStringLiteral("ａ．g"),
              QStringLiteral("正解a,")}; // 61, 64
    lines += {QStringLiteral("問題13 語群なし"),
              QStringLiteral("問題14 最後"),
              QStringLiteral("Ａ群"),
              QStringLiteral("・z"),
              QStringLiteral("Ｂ群"),
              QStringLiteral("ａ．g"),
              QStringLiteral("正解a,")}; // 70, 71
    Series s(lines);
    s.open();
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    const QString msg = s.dialogs.messages[0].text;
    for (const QString& expected :
         {QStringLiteral("7行目の問題: 項目が22個"), QStringLiteral("13行目の問題: 分類群が7個"),
          QStringLiteral("19行目の問題: 項目（Ａ群）が1つもありません"),
          QStringLiteral("25行目の問題: 分類群（Ｂ群）が1つもありません"),
          QStringLiteral("31行目の問題: 正解の1番目「g」"),
          QStringLiteral("37行目の問題: 正解の1番目「b」は分類群2を指していますが"),
          QStringLiteral("43行目の問題: 正解の数（1）が項目の数（2）"),
          QStringLiteral("49行目の問題: 分類群「ｂ」"),
          QStringLiteral("55行目の問題: 正解の1番目「A」"),
          QStringLiteral("61行目の問題: 分類群（Ｂ群）の見出し"),
          QStringLiteral("70行目の問題: 項目（Ａ群・語群）の見出し")}) {
        EXPECT_TRUE(msg.contains(expected)) << expected.toStdString() << "\n" << msg.toStdString();
    }
    // Problems 1, 12 and 14 remain as written, numbered from 1.
    EXPECT_EQ(s.state.problemCount, 3);
    EXPECT_EQ(s.cell(1, 0), QStringLiteral("問題1 q"));
    EXPECT_EQ(s.cell(2, 1), QStringLiteral("b,"));
    EXPECT_EQ(s.cell(3, 0), QStringLiteral("問題14 最後"));
}

TEST(SeriesLoader, HundredProblemsAtMostAndNeverHalfALoad)
{
    QStringList lines;
    for (int i = 1; i <= 103; ++i) {
        lines += {QStringLiteral("問題%1 q").arg(i),
                  QStringLiteral("Ａ群"),
                  QStringLiteral("・a"),
                  QStringLiteral("Ｂ群"),
                  QStringLiteral("ａ．g"),
                  QStringLiteral("正解a,"),
                  QStringLiteral("説明%1").arg(i)};
    }
    Series s(lines);
    s.open();
    EXPECT_EQ(s.state.problemCount, 100);
    EXPECT_EQ(s.cell(100, 0), QStringLiteral("問題100 q"));
    EXPECT_EQ(s.cell(100, 4), QStringLiteral("説明100"));
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    EXPECT_TRUE(s.dialogs.messages[0].text.contains(QStringLiteral("残りの3問")));
}

TEST(SeriesLoader, UnusableFilesAreToldAndTheListStays)
{
    struct Case {
        QByteArray bytes; // empty: no file at all
        QString expected;
    };
    const QList<Case> cases = {
        {QByteArray(), QStringLiteral("見つかりません")},
        {QByteArray("\r\n  \r\n"), QStringLiteral("空です")},
        {TestFiles::lines({QStringLiteral("ただの文章")}), QStringLiteral("問題がありません")},
        {TestFiles::lines({QStringLiteral("問題１ a"), QStringLiteral("Ａ群")}) +
             QByteArray("\xFF\xFE\r\n") +
             TestFiles::lines(
                 {QStringLiteral("Ｂ群"), QStringLiteral("・・甲"), QStringLiteral("正解a,")}),
         QStringLiteral("3行目に、シフトJIS")},
        {QByteArray("\xFF\xFE") + QByteArray("a\0,\0b\0\r\0\n\0", 10), QStringLiteral("UTF-16")},
    };
    for (const Case& c : cases) {
        Series s(OneProblem);
        s.state.markedSeries = true;
        s.state.problemCount = 7;
        s.state.currentProblem = 3;
        if (c.bytes.isNull()) {
            QFile::remove(s.path("S.TXT"));
        } else {
            TestFiles::write(s.path("S.TXT"), c.bytes);
        }
        s.open();
        ASSERT_EQ(s.dialogs.messages.size(), 1) << c.expected.toStdString();
        EXPECT_TRUE(s.dialogs.messages[0].text.contains(c.expected))
            << s.dialogs.messages[0].text.toStdString();
        EXPECT_TRUE(s.dialogs.messages[0].text.contains("S.TXT"));
        EXPECT_TRUE(s.form->seriesList.Visible);
        EXPECT_TRUE(s.state.markedSeries);
        EXPECT_EQ(s.state.problemCount, 7);
        EXPECT_EQ(s.state.currentProblem, 3);
        EXPECT_TRUE(s.players.log.isEmpty()) << "no problem was displayed";
    }
}

TEST(SeriesLoader, AnEntryOpensAsTheListDoesAndNoSelectionDoesNothing)
{
    Series a(OneProblem);
    a.session->open(1);
    EXPECT_FALSE(a.form->seriesList.Visible);

    Series b(OneProblem);
    b.open();
    EXPECT_EQ(a.state.problems, b.state.problems);
    EXPECT_EQ(a.form->Caption, b.form->Caption);

    Series none(OneProblem);
    none.open(-1);
    EXPECT_TRUE(none.form->seriesList.Visible);
    EXPECT_TRUE(none.dialogs.messages.isEmpty());
}

TEST(SeriesLoader, StaleRowsOfALongerSeriesAreNeverReached)
{
    Series s(OneProblem);
    for (int r = 1; r <= 5; ++r) {
        s.setRow(r, QStringLiteral("古い問題%1").arg(r), "x,", "y,", "1,");
    }
    s.open();
    EXPECT_EQ(s.state.problemCount, 1);
    EXPECT_EQ(s.cell(2, 0), QStringLiteral("古い問題2")) << "rows after the count keep old text";
    s.session->press(Button::ArrowNext); // "次へ" on the last problem
    EXPECT_EQ(s.state.currentProblem, 1);
    EXPECT_EQ(s.form->resultMessage.Caption(), QStringLiteral("このシリーズは終わりです"));
}

TEST(SeriesLoader, EmptyFileNameInTheCatalogueIsTold)
{
    Harness h;
    TestFiles::write(h.path("ZQCList.TXT"), TestFiles::lines({QStringLiteral("題だけ")}));
    h.session->start();
    h.dialogs.messages.clear(); // start-up has told about the line
    h.form->seriesList.ListIndex = 1;
    h.session->open(h.form->seriesList.ListIndex);
    ASSERT_EQ(h.dialogs.messages.size(), 1);
    EXPECT_TRUE(h.dialogs.messages[0].text.contains(QStringLiteral("題だけ")));
    EXPECT_TRUE(h.form->seriesList.Visible);
}

TEST(SeriesLoader, ALongListOfFaultsIsCutToFitTheScreen)
{
    QStringList lines;
    for (int i = 1; i <= 40; ++i) {
        lines += {QStringLiteral("問題%1 q").arg(i),
                  QStringLiteral("Ａ群"),
                  QStringLiteral("・a"),
                  QStringLiteral("Ｂ群"),
                  QStringLiteral("ａ．g"),
                  QStringLiteral("正解z,")};
    }
    lines += OneProblem;
    Series s(lines);
    s.open();
    EXPECT_EQ(s.state.problemCount, 1);
    ASSERT_EQ(s.dialogs.messages.size(), 1);
    EXPECT_EQ(s.dialogs.messages[0].text.count('\n'), 3 + 15);
    EXPECT_TRUE(s.dialogs.messages[0].text.endsWith(QStringLiteral("ほか25問")));
}
