#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{

// A series of two problems opened from the list, problem 1 on the board:
// three terms in two frames.
struct Board : Harness {
    Board()
    {
        QStringList lines;
        for (int n = 1; n <= 2; ++n) {
            lines += {QStringLiteral("問題%1 q").arg(n),
                      QStringLiteral("Ａ群"),
                      QStringLiteral("・ウニ　・イカ　・ヒトデ"),
                      QStringLiteral("Ｂ群"),
                      QStringLiteral("ａ．棘皮動物　ｂ．軟体動物"),
                      QStringLiteral("正解a,b,a,")};
        }
        TestFiles::write(path("ZQCList.TXT"), TestFiles::lines({QStringLiteral("動物,S.TXT")}));
        TestFiles::write(path("S.TXT"), TestFiles::lines(lines));
        session->start();
        session->open(1);
        players.clear();
    }
};

struct Refused {
    const char* verb;
    std::function<Outcome(Session&)> run;
    Refusal::Kind kind;
};

// Each verb is refused with a reason and leaves the session as it was.
void expectRefused(Board& b, const QList<Refused>& cases, const char* where)
{
    for (const Refused& c : cases) {
        const SessionValue before = b.session.get().value();
        b.players.clear();
        const Outcome out = c.run(b.session.get());
        ASSERT_TRUE(out.refusal) << where << ": " << c.verb;
        EXPECT_EQ(out.refusal->kind, c.kind) << where << ": " << c.verb;
        EXPECT_FALSE(out.refusal->reason.isEmpty()) << c.verb;
        EXPECT_TRUE(b.session.get().value() == before) << where << ": " << c.verb << " changed it";
        EXPECT_TRUE(b.players.log.isEmpty()) << c.verb;
    }
}

} // namespace

TEST(Verbs, WhatDoesNotApplyIsRefusedWithAReasonAndChangesNothing)
{
    using K = Refusal::Kind;
    Board b;
    expectRefused(
        b,
        {{"no such term", [](Session& s) { return s.putIn(3, 0); }, K::NoSuch},
         {"no term", [](Session& s) { return s.putIn(-1, 0); }, K::NoSuch},
         {"no such frame", [](Session& s) { return s.putIn(0, 2); }, K::NoSuch},
         {"put at, no such term", [](Session& s) { return s.putAt(3, 0, 0); }, K::NoSuch},
         {"pick up, no such term", [](Session& s) { return s.pickUp(5); }, K::NoSuch},
         {"open off the list", [](Session& s) { return s.open(1); }, K::NotNow},
         {"hidden result button", [](Session& s) { return s.press(Button::Next); }, K::NotNow},
         {"hidden back arrow", [](Session& s) { return s.press(Button::ArrowPrevious); },
          K::NotNow},
         {"no explanation open", [](Session& s) { return s.press(Button::ExplanationBack); },
          K::NotNow}},
        "answering");

    // Solved: no term moves any more.
    b.session->putIn(0, 0);
    b.session->putIn(1, 1);
    b.session->putIn(2, 0);
    ASSERT_FALSE(b.form->quiz.open());
    expectRefused(
        b,
        {{"put in", [](Session& s) { return s.putIn(0, 1); }, K::NotNow},
         {"put at", [](Session& s) { return s.putAt(0, 100, 100); }, K::NotNow},
         {"pick up", [](Session& s) { return s.pickUp(1); }, K::NotNow},
         {"carry", [](Session& s) { return s.carry(Direction::Right); }, K::NotNow},
         {"put down", [](Session& s) { return s.putDown(); }, K::NotNow},
         {"put back", [](Session& s) { return s.putBack(); }, K::NotNow},
         {"hidden arrow", [](Session& s) { return s.press(Button::ArrowNext); }, K::NotNow}},
        "solved");

    // On the list: no series beyond it, no leaving it with the buttons.
    b.session->press(Button::ToList);
    ASSERT_EQ(b.form->screen(), Screen::SeriesList);
    expectRefused(
        b,
        {{"open beyond the list", [](Session& s) { return s.open(2); }, K::NoSuch},
         {"open before it", [](Session& s) { return s.open(-1); }, K::NoSuch},
         {"quit on the list", [](Session& s) { return s.press(Button::Quit); }, K::NotNow},
         {"put at", [](Session& s) { return s.putAt(0, 100, 100); }, K::NotNow}},
        "list");
}

TEST(Verbs, ATermPutBackIntoItsOwnFrameIsCheckedAgainOnceEveryTermLiesInOne)
{
    Board b;
    b.session->putIn(0, 0);
    EXPECT_FALSE(b.session->putIn(0, 0).sound) << "not every term placed: no check";
    b.session->putIn(1, 1);
    EXPECT_EQ(b.session->putIn(2, 1).sound, SoundCue::Wrong) << "placed, one wrong";
    const QList<int> placed = b.form->quiz.termsIn(1);

    // Into the frame it lies in, by frame and by the place it lies at.
    EXPECT_EQ(b.session->putIn(2, 1).sound, SoundCue::NotMoreCorrect);
    EXPECT_EQ(b.form->quiz.termsIn(1), placed) << "back in its own slot";
    const Control& term = b.form->terms[2];
    EXPECT_EQ(b.session->putAt(2, term.Left, term.Top).sound, SoundCue::NotMoreCorrect);
    EXPECT_EQ(b.form->quiz.termsIn(1), placed);
    EXPECT_TRUE(b.form->quiz.open());
}
