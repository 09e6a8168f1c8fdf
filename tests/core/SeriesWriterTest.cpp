#include "series/SeriesWriter.h"
#include "files/TextFile.h"
#include "series/SeriesParser.h"

#include <gtest/gtest.h>

namespace
{

// What a problem shows, without where its lines stood.
void expectSame(const Problem& a, const Problem& b)
{
    EXPECT_EQ(a.heading, b.heading);
    EXPECT_EQ(a.question, b.question);
    EXPECT_EQ(a.terms, b.terms);
    EXPECT_EQ(a.groups, b.groups);
    EXPECT_EQ(a.groupOfTerm, b.groupOfTerm);
    EXPECT_EQ(a.explanation, b.explanation);
}

SeriesParser::Result readText(const QString& text)
{
    return SeriesParser::parse(text.split(QLatin1Char('\n')));
}

Problem problem(int terms, int groups)
{
    Problem p;
    p.heading = QStringLiteral("問題１");
    p.question = QStringLiteral("　次の語を分類しなさい。");
    for (int g = 0; g < groups; ++g) {
        p.groups.append(QStringLiteral("分類%1").arg(g + 1));
    }
    for (int t = 0; t < terms; ++t) {
        p.terms.append(QStringLiteral("項目%1").arg(t + 1));
        p.groupOfTerm.append(t % groups + 1);
    }
    p.explanation = QStringLiteral("　説明の文。");
    return p;
}

} // namespace

// Every sample series, written again, reads back as the same problems: both
// headings of each part, answers with 「、」 and without a 解説 line.
TEST(SeriesWriter, SampleSeriesReadBackTheSame)
{
    for (const char* name : {"Bio1.TXT", "Bio2.TXT", "Bio3.TXT", "Bio4.TXT"}) {
        SCOPED_TRACE(name);
        const TextFile::ReadResult file =
            TextFile::read(QStringLiteral(VELMORANT_SOURCE_DIR "/data/") + QLatin1String(name));
        ASSERT_TRUE(file.ok());
        const SeriesParser::Result first = SeriesParser::parse(file.texts());
        ASSERT_FALSE(first.problems.isEmpty());
        QList<Problem> problems;
        for (const SeriesParser::Draft& d : first.problems) {
            problems.append(d.problem);
        }
        const QStringList preamble = file.texts().mid(0, problems.first().lines.heading - 1);
        const QString text = SeriesWriter::write(preamble, problems);
        EXPECT_TRUE(text.startsWith(preamble.first()));
        const SeriesParser::Result again = readText(text);
        ASSERT_EQ(again.problems.size(), problems.size());
        for (qsizetype i = 0; i < problems.size(); ++i) {
            expectSame(again.problems.at(i).problem, problems.at(i));
            EXPECT_EQ(SeriesParser::problemFault(again.problems.at(i)), QString());
            EXPECT_TRUE(SeriesWriter::faults(problems.at(i)).isEmpty());
        }
    }
}

// The largest board: 21 terms over several lines never run together, and
// the sixth group is the letter f.
TEST(SeriesWriter, TwentyOneTermsAndSixGroupsReadBack)
{
    const Problem p = problem(21, 6);
    const QString text = SeriesWriter::write({}, {p, problem(2, 1)});
    EXPECT_TRUE(text.contains(QStringLiteral("正解a,b,c,d,e,f,a,")));
    const SeriesParser::Result back = readText(text);
    ASSERT_EQ(back.problems.size(), 2);
    expectSame(back.problems.first().problem, p);
    EXPECT_EQ(SeriesParser::problemFault(back.problems.first()), QString());
}

// A term without its group, an entry the format cannot hold and a line that
// would be read as a heading are each told at their field; the first is
// written so that the reader refuses it rather than guesses a group.
TEST(SeriesWriter, FaultsNameTheirField)
{
    using SeriesWriter::Field;
    const auto fields = [](const Problem& p) {
        QList<Field> out;
        for (const SeriesWriter::Fault& f : SeriesWriter::faults(p)) {
            out.append(f.field);
        }
        return out;
    };
    Problem unset = problem(3, 2);
    unset.groupOfTerm[1] = 0;
    EXPECT_EQ(fields(unset), QList<Field>{Field::Answer});
    const SeriesParser::Result back = readText(SeriesWriter::write({}, {unset}));
    ASSERT_EQ(back.problems.size(), 1);
    EXPECT_NE(SeriesParser::problemFault(back.problems.first()), QString());

    Problem entries = problem(3, 2);
    entries.terms[0] = QStringLiteral("ウニ,ヒトデ");
    entries.groups[1] = QStringLiteral("棘皮 動物");
    EXPECT_EQ(fields(entries), (QList<Field>{Field::Terms, Field::Groups}));

    Problem heading = problem(2, 1);
    heading.heading = QStringLiteral("第1問");
    EXPECT_EQ(fields(heading), QList<Field>{Field::Heading});

    Problem explanation = problem(2, 1);
    explanation.explanation = QStringLiteral("問題文のとおり。");
    EXPECT_EQ(fields(explanation), QList<Field>{Field::Explanation});
    explanation.explanation = QStringLiteral("正解はこのとおり。");
    EXPECT_EQ(fields(explanation), QList<Field>{Field::Explanation});
    explanation.explanation = QStringLiteral("　解説は省く。");
    EXPECT_EQ(fields(explanation), QList<Field>{Field::Explanation});
}
