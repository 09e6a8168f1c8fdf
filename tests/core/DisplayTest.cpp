#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace
{

// n full-width characters: 30 twips each with the fake measure.
QString wide(int n)
{
    return QString(n, QChar(0x3042));
}

QString list(const QStringList& fields)
{
    return fields.join(',') + ',';
}

// Row 1's board on a client area of the given size.
BoardLayout lay(const QString& terms, const QString& groups, float clientW = 9330,
                float clientH = 6870)
{
    const FakeMeasure measure;
    return BoardLayout::of(
        Problems::fromRecord({QStringLiteral("問題１\u3000次を分類せよ"), terms, groups, "", ""}),
        {clientW, clientH}, measure);
}

void expectBox(const Box& f, double left, double top, double width, double height)
{
    EXPECT_NEAR(f.left, left, 0.01);
    EXPECT_NEAR(f.top, top, 0.01);
    EXPECT_NEAR(f.width, width, 0.01);
    EXPECT_NEAR(f.height, height, 0.01);
}

} // namespace

TEST(ShowProblem, TheControlsTakeTheBoardsPlacesAndOnlyTheShownOnesShow)
{
    Harness h;
    h.form->setClientSize(9330, 6870);
    h.setRow(1, "q", "a,b,", QStringLiteral("節足動物,軟体動物,棘皮動物,"), "");
    h.form->showProblem(1);
    const BoardLayout& b = h.form->board;
    ASSERT_EQ(b.frames.size(), 3);
    for (int c = 0; c < 6; ++c) {
        const Control& f = h.form->frames.at(c);
        const Control& cap = h.form->captions.at(c);
        EXPECT_EQ(f.Visible, c < 3) << c;
        EXPECT_EQ(cap.Visible, c < 3) << c;
        if (c < 3) {
            EXPECT_EQ((Box{f.Left, f.Top, f.Width, f.Height}), b.frames.at(c)) << c;
            EXPECT_EQ((Box{cap.Left, cap.Top, cap.Width, cap.Height}), b.captions.at(c)) << c;
        }
    }
    const Control& t = h.form->terms[1];
    EXPECT_EQ((Box{t.Left, t.Top, t.Width, t.Height}), b.terms.at(1));
    EXPECT_EQ(h.form->captions[0].Caption(), QStringLiteral(" 節足動物 "));
}

TEST(BoardLayout, SingleRowOfThreeFrames)
{
    const BoardLayout b = lay("a,b,c,", QStringLiteral("節足動物,軟体動物,棘皮動物,"));
    // W = 9450, H = 7275: P = 9200 / 3 - 5, each frame (W - 250) / 3 - 55 wide.
    const double P = 9200.0 / 3.0 - 5.0;
    ASSERT_EQ(b.frames.size(), 3);
    expectBox(b.frames[0], 50, 2280, 9200.0 / 3.0 - 55.0, 4015);
    expectBox(b.frames[1], 50 + P + 15, 2280, P - 50, 4015);
    expectBox(b.frames[2], 50 + 2 * (P + 15), 2280, P - 50, 4015);
    // Captions 100 above their frame, centred on the column of width P.
    const double capW = 15 + 4 * 30 + 15 + 30; // " 節足動物 " plus the border
    expectBox(b.captions[1], (50 + P + 15) + P / 2 - capW / 2, 2180, capW, 300);
}

TEST(BoardLayout, StackedPairOnlyAboveHalfTheWidth)
{
    // Client 8960 wide: W = 9080, (W - 80) / 2 = 4500 exactly.
    const BoardLayout b = lay(wide(148) + ",", "x,y,", 8960); // label 60 + 4440 = 4500 wide
    EXPECT_FLOAT_EQ(b.terms[0].width, 4500);
    EXPECT_NEAR(b.frames[1].top, 2280, 0.01) << "equal to the threshold: side by side";

    const BoardLayout s = lay(wide(148) + "a,", "x,y,", 8960); // 4515 wide
    expectBox(s.frames[0], 50, 2280, 8680, 1862.5);
    expectBox(s.frames[1], 50, 4242.5, 8680, 2052.5);
    EXPECT_FLOAT_EQ(s.captions[0].left, 100);
    EXPECT_FLOAT_EQ(s.captions[1].left, 100);
    EXPECT_NEAR(s.captions[1].top, 4142.5, 0.01);
}

TEST(BoardLayout, TwoByTwoGridOnlyAboveAQuarterOfTheWidth)
{
    const BoardLayout b = lay(wide(73) + ",", "p,q,r,s,", 8960); // 2250 = (W - 80) / 4
    EXPECT_NEAR(b.frames[3].top, 2280, 0.01) << "equal to the threshold: one row";

    const BoardLayout g = lay(wide(73) + "a,", "p,q,r,s,", 8960);
    const double P = (9080.0 - 250.0) / 2.0 - 50.0; // 4365
    expectBox(g.frames[0], 50, 2280, P - 50, 1862.5);
    expectBox(g.frames[1], 50 + P + 15, 2280, P - 50, 1862.5);
    expectBox(g.frames[2], 50, 4242.5, P - 50, 2052.5);
    expectBox(g.frames[3], 50 + P + 10, 4242.5, P - 50, 2052.5);
    // The second row's right frame stands 5 twips further left.
    EXPECT_FLOAT_EQ(g.frames[1].left - g.frames[3].left, 5);
    EXPECT_NEAR(g.captions[3].left, (50 + P + 10) + P / 2 - g.captions[3].width / 2, 0.01);
}

TEST(BoardLayout, FiveAndSixGroupsFormTwoRows)
{
    const BoardLayout b = lay("a,", "1,2,3,4,5,6,");
    const double P = (9450.0 - 250.0) / 3.0 - 50.0;
    const double firstH = (7275.0 - 2280.0 - 270.0) / 2.0 - 500.0;
    const double t2 = 2280.0 + firstH + 100.0;
    expectBox(b.frames[0], 50, 2280, P - 50, firstH);
    expectBox(b.frames[2], 50 + 2 * (P + 15), 2280, P - 50, firstH);
    expectBox(b.frames[3], 50, t2, P - 50, 7275.0 - 480.0 - t2 - 500.0);
    expectBox(b.frames[5], 50 + 2 * (P + 10), t2, P - 50, 7275.0 - 480.0 - t2 - 500.0);

    const BoardLayout five = lay("a,", "1,2,3,4,5,");
    EXPECT_EQ(five.frames.size(), 5);
    EXPECT_EQ(five.frames[4], b.frames[4]);
}

TEST(BoardLayout, TermsWrapOnlyPastTheRightMargin)
{
    // W - 150 = 9300: 360 + 4410 + 150 + 4380 ends exactly there.
    const BoardLayout b = lay(wide(145) + "," + wide(144) + ",", "x,");
    EXPECT_FLOAT_EQ(b.terms[1].left, 4920);
    EXPECT_FLOAT_EQ(b.terms[1].top, 720);

    const BoardLayout w = lay(wide(145) + "," + wide(144) + "a,", "x,");
    EXPECT_FLOAT_EQ(w.terms[1].left, 360);
    EXPECT_FLOAT_EQ(w.terms[1].top, 1070);
}

TEST(BoardLayout, FramesStartBelowALastRowThatReachesPast2280)
{
    const QString row = QString(wide(148) + ",").repeated(4);
    const BoardLayout b = lay(row + wide(148) + ",", "x,y,z,");
    EXPECT_FLOAT_EQ(b.terms[4].top, 2120);
    EXPECT_NEAR(b.frames[0].top, 2120 + 285 + 300, 0.01);

    const BoardLayout four = lay(row, "x,y,z,");
    EXPECT_NEAR(four.frames[0].top, 2280, 0.01) << "1770 + 285 does not reach past 2280";
}

TEST(ShowProblem, HeadingQuestionAndTermsTakeTheirLabels)
{
    Harness h;
    h.setRow(1, QStringLiteral("問題１ x"), QStringLiteral("ウニ,,ヒトデ,"), "a,b,", "2,1,1,");
    h.form->showProblem(1);
    EXPECT_EQ(h.form->headingText.Caption(), QStringLiteral("問題１"));
    EXPECT_EQ(h.form->questionText.Caption(), " x");
    EXPECT_TRUE(h.form->headingText.Visible);
    EXPECT_TRUE(h.form->questionText.Visible);
    EXPECT_EQ(h.form->terms[1].Caption(), "  ") << "an empty field is a term of its own";
    EXPECT_TRUE(h.form->terms[1].Visible);
    EXPECT_FALSE(h.form->terms[3].Visible);
    // One term only stays at its start; 150 twips between neighbours.
    EXPECT_FLOAT_EQ(h.form->terms[0].Left, 360);
    EXPECT_FLOAT_EQ(h.form->terms[1].Left, 360 + h.form->terms[0].Width + 150);
}

TEST(ShowProblem, ArrowButtonsAndWindowPlacedControls)
{
    Harness h;
    h.setRow(1, "q", "a,", "x,", "1,");
    h.setRow(2, "q", "a,", "x,", "1,");
    h.form->showProblem(2);
    EXPECT_TRUE(h.form->arrows[Arrow::Next].Visible);
    EXPECT_TRUE(h.form->arrows[Arrow::Previous].Visible);
    h.form->showProblem(1);
    EXPECT_TRUE(h.form->arrows[Arrow::Next].Visible);
    EXPECT_FALSE(h.form->arrows[Arrow::Previous].Visible);
    EXPECT_FLOAT_EQ(h.form->arrows[Arrow::Next].Left, 9450 - 555 - 250);
    EXPECT_FLOAT_EQ(h.form->arrows[Arrow::Previous].Left, 9450 - 555 - 555 - 250);
    EXPECT_FLOAT_EQ(h.form->quitButton.Left, 9450 - 855 - 200);
    EXPECT_FLOAT_EQ(h.form->questionText.Width, (9450 - 555 - 555 - 250) - 1080 - 280);
    const QStringList rewinds = {"Correct:rewind", "Wrong:rewind", "MoreCorrect:rewind",
                                 "NotMoreCorrect:rewind"};
    EXPECT_EQ(h.players.log, rewinds + rewinds) << "each showing rewinds every sound";
    EXPECT_TRUE(h.form->quiz.open());
}

TEST(ShowProblem, RetryRestoresEveryLabelAndClearsThePlacementTable)
{
    Harness h;
    h.setRow(1, "q", "a,b,c,", "x,y,", "1,2,1,");
    h.form->showProblem(1);
    const float startLeft = h.form->terms[2].Left;
    const float startTop = h.form->terms[2].Top;
    for (Control& term : h.form->terms) {
        term.Left += 777;
        term.Top += 555;
        term.BackColor = 0x80FFFF;
        term.Enabled = false;
    }
    h.form->quiz.place(0, 0);
    h.form->quiz.place(1, 1);
    h.form->showProblem(1);
    EXPECT_FLOAT_EQ(h.form->terms[0].Left, 360);
    EXPECT_FLOAT_EQ(h.form->terms[0].Top, 720);
    EXPECT_FLOAT_EQ(h.form->terms[2].Left, startLeft);
    EXPECT_FLOAT_EQ(h.form->terms[2].Top, startTop);
    for (const Control& term : h.form->terms) {
        EXPECT_EQ(term.BackColor, Colors::ButtonFace);
        EXPECT_TRUE(term.Enabled);
    }
    EXPECT_EQ(h.form->quiz.frameOf(0), -1);
    EXPECT_EQ(h.form->quiz.frameOf(1), -1);
    EXPECT_TRUE(h.form->quiz.open());
}

TEST(ShowProblem, HostileRowsStayInsideTheTables)
{
    QStringList thirty;
    QStringList nine;
    for (int i = 0; i < 30; ++i) {
        thirty.append(QStringLiteral("項%1").arg(i));
    }
    for (int i = 0; i < 9; ++i) {
        nine.append(QString::number(i));
    }
    Harness h;
    h.setRow(1, "q", list(thirty), list(nine), list(QStringList(30, "3")));
    h.form->showProblem(1); // the quiz leaves out what the screen has no controls for
    EXPECT_TRUE(h.form->terms[20].Visible);
    EXPECT_TRUE(h.form->frames[5].Visible);

    h.setRow(3, "", "", "", "");
    h.form->showProblem(3);
    for (const Control& f : h.form->frames) {
        EXPECT_FALSE(f.Visible);
    }

    h.players.clear();
    h.form->quiz = Quiz();
    h.form->showProblem(101);
    h.form->showProblem(-1);
    EXPECT_FALSE(h.form->quiz.open()) << "a number outside the table changes nothing";
    EXPECT_TRUE(h.players.log.isEmpty());
}
