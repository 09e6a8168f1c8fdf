#include "support/Fakes.h"

#include <gtest/gtest.h>

#include <utility>

QSizeF FakeMeasure::measure(const QString& text, const FontInfo& font) const
{
    const double height = font.points >= 12.0 ? 270.0 : 255.0;
    return {widthOf(text), height};
}

float FakeMeasure::widthOf(const QString& text)
{
    float w = 0.0F;
    for (const QChar c : text) {
        w += c.unicode() < 0x80 ? 15.0F : 30.0F;
    }
    return w;
}

namespace
{

QString cueName(SoundCue cue)
{
    switch (cue) {
    case SoundCue::Correct:
        return QStringLiteral("Correct");
    case SoundCue::Wrong:
        return QStringLiteral("Wrong");
    case SoundCue::MoreCorrect:
        return QStringLiteral("MoreCorrect");
    case SoundCue::NotMoreCorrect:
        return QStringLiteral("NotMoreCorrect");
    }
    return QStringLiteral("?");
}

} // namespace

void FakePlayers::open(SoundCue cue, const QString& fileName)
{
    log.append(cueName(cue) + QStringLiteral(":open ") + fileName);
}

void FakePlayers::rewind(SoundCue cue)
{
    log.append(cueName(cue) + QStringLiteral(":rewind"));
}

void FakePlayers::play(SoundCue cue)
{
    log.append(cueName(cue) + QStringLiteral(":play"));
}

Dialogs::Answer FakeDialogs::messageBox(const QString& text, Buttons buttons, Icon icon)
{
    if (handlerRunning) {
        ADD_FAILURE() << "a box came up while a handler ran: " << text.toStdString();
    }
    messages.append({text, buttons, icon});
    if (onShow) {
        onShow(text);
    }
    if (script.empty()) {
        return Answer::Ok;
    }
    const Answer a = script.front();
    script.pop_front();
    return a;
}

void FakeDialogs::showAbout()
{
    if (handlerRunning) {
        ADD_FAILURE() << "the About window came up while a handler ran";
    }
    ++aboutShown;
}

void FakeDialogs::showProgress(const Progress& progress)
{
    if (handlerRunning) {
        ADD_FAILURE() << "the record window came up while a handler ran";
    }
    progressShown.append(progress);
}

namespace
{

SessionPorts withFakes(SessionPorts ports, const QString& dir, FakePlayers& players,
                       FakeDialogs& dialogs, MarksStore** fileMarks)
{
    if (!ports.marks) {
        auto marks = std::make_unique<MarksStore>(dir);
        *fileMarks = marks.get();
        ports.marks = std::move(marks);
    }
    ports.players = &players;
    ports.dialogs = &dialogs;
    return ports;
}

} // namespace

Harness::Harness(SessionPorts ports)
    : owned(std::make_unique<Session>(
          dir.path(), measure,
          withFakes(std::move(ports), dir.path(), players, dialogs, &fileMarks))),
      state(owned->state()), session(*owned, *owned, dialogs),
      form(owned->screen(), *owned, dialogs)
{
}

bool Harness::close()
{
    dialogs.handlerRunning = true;
    const bool closed = QueryClose(*owned, [this] {
        dialogs.handlerRunning = false;
        return true;
    });
    dialogs.handlerRunning = false;
    return closed;
}

void Harness::setRow(int n, const QString& question, const QString& terms, const QString& groups,
                     const QString& answers, const QString& explanation)
{
    state.problems.at(static_cast<std::size_t>(n)) =
        Problems::fromRecord({question, terms, groups, answers, explanation});
}

void expectListScreen(const MainScreen& f)
{
    for (const Control* shown :
         {&f.seriesList, &f.titlePicture, &f.quitButton, &f.instructionLine}) {
        EXPECT_TRUE(shown->Visible) << shown->displayName().toStdString();
    }
    EXPECT_EQ(f.instructionLine.Caption(), QString::fromUtf16(MainScreen::ListPrompt));
    EXPECT_EQ(f.Caption, QStringLiteral("用語分類問題集 Velmorant"));
    for (const Control* hidden : {&f.resultPanel, &f.explanationPanel, &f.headingText,
                                  &f.questionText, &f.arrows[0], &f.arrows[1]}) {
        EXPECT_FALSE(hidden->Visible) << hidden->displayName().toStdString();
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(f.frames.at(i).Visible) << i;
        EXPECT_FALSE(f.captions.at(i).Visible) << i;
        EXPECT_FALSE(f.resultButtons.at(i).Visible) << i;
    }
    for (const Control& term : f.terms) {
        EXPECT_FALSE(term.Visible);
        EXPECT_EQ(term.BackColor, Colors::ButtonFace);
    }
}
