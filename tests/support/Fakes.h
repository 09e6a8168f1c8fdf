#pragma once

#include "answer/Players.h"
#include "forms/Dialogs.h"
#include "forms/TextMeasure.h"

#include <QString>
#include <QStringList>

#include <deque>

// 15 twips per half-width character, 30 per full-width one; a line of a
// 11.25-point font is 255 twips high and of a 12-point font 270, so labels
// come out 285 and 300 high with their borders.
class FakeMeasure : public TextMeasure
{
public:
    QSizeF measure(const QString& text, const FontInfo& font) const override;
    static float widthOf(const QString& text);
};

// Records every call as "Cue:open File", "Cue:rewind" or "Cue:play".
class FakePlayers : public Players
{
public:
    void open(SoundCue cue, const QString& fileName) override;
    void rewind(SoundCue cue) override;
    void play(SoundCue cue) override;

    QStringList log;
    void clear() { log.clear(); }
};

// Answers message boxes from a script (Ok when the script is empty) and
// records what was shown.
class FakeDialogs : public Dialogs
{
public:
    Answer messageBox(const QString& text, Buttons buttons, Icon icon) override;
    void showAbout() override { ++aboutShown; }
    void endProgram() override { ++ended; }

    struct Shown {
        QString text;
        Buttons buttons;
        Icon icon;
    };
    QList<Shown> messages;
    std::deque<Answer> script;
    int aboutShown = 0;
    int ended = 0;
};

#include "forms/Form1.h"
#include "state/Module1.h"

#include <QTemporaryDir>

#include <memory>

// Part `part` of problem `problem` as its marked record holds it.
inline QString recordPart(const Module1& state, int problem, int part)
{
    return Problems::record(state.Problems.at(static_cast<std::size_t>(problem))).at(part);
}

// A main window with fakes for everything outside it, in a fresh temporary
// working directory.
struct Harness {
    Harness();
    QString path(const QString& name) const { return dir.filePath(name); }
    // Puts problem n, given as the five lines of a marked record.
    void setRow(int n, const QString& question, const QString& items, const QString& groups,
                const QString& answers, const QString& explanation = QString());

    QTemporaryDir dir;
    Module1 state;
    FakeMeasure measure;
    FakePlayers players;
    FakeDialogs dialogs;
    std::unique_ptr<Form1> form;
};
