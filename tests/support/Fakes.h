#pragma once

#include "layout/TextMeasure.h"
#include "record/Progress.h"
#include "session/Dialogs.h"
#include "session/Players.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

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
    void showAbout() override;
    void showProgress(const Progress& progress) override;
    void endProgram() override { ++ended; }

    // Set while a handler runs: a box then is a fault, boxes wait for it.
    bool handlerRunning = false;
    // Called as each message box comes up, to look at the window under it.
    std::function<void(const QString&)> onShow;

    struct Shown {
        QString text;
        Buttons buttons;
        Icon icon;
    };
    QList<Shown> messages;
    std::deque<Answer> script;
    int aboutShown = 0;
    QList<Progress> progressShown;
    int ended = 0;
};

#include "marks/MarksFile.h"
#include "series/SeriesState.h"
#include "session/Session.h"

#include <QTemporaryDir>

#include <memory>

// Part `part` of problem `problem` as its marked record holds it.
inline QString recordPart(const SeriesState& state, int problem, int part)
{
    return Problems::record(state.problems.at(static_cast<std::size_t>(problem))).at(part);
}

// Checks the series list as start-up and leaving a series leave it: the
// list, its title and prompt, and nothing of a problem.
void expectListScreen(const MainScreen& f);

// The session as the window drives it: each use of the session or its
// screen through -> or * is one event. Once it has returned, what it left
// is shown through the dialogs, their script answering its questions;
// while it runs, no box may come up.
template <typename T> class Driven
{
public:
    class Event
    {
    public:
        Event(T& target, Session& session, FakeDialogs& dialogs)
            : target_(target), session_(session), dialogs_(dialogs)
        {
            dialogs_.handlerRunning = true;
        }
        ~Event()
        {
            dialogs_.handlerRunning = false;
            ShowPrompts(session_, [] { return true; });
        }
        Event(const Event&) = delete;
        Event& operator=(const Event&) = delete;
        T* operator->() const { return &target_; }
        operator T&() const { return target_; } // NOLINT(google-explicit-constructor)

    private:
        T& target_;
        Session& session_;
        FakeDialogs& dialogs_;
    };

    Driven(T& target, Session& session, FakeDialogs& dialogs)
        : target_(&target), session_(&session), dialogs_(&dialogs)
    {
    }
    Event operator->() const { return {*target_, *session_, *dialogs_}; }
    Event operator*() const { return {*target_, *session_, *dialogs_}; }
    // The target itself, for calls that are no event of their own.
    T& get() const { return *target_; }

private:
    T* target_;
    Session* session_;
    FakeDialogs* dialogs_;
};

// A session with fakes for everything outside it, in a fresh temporary
// working directory: `session` for its verbs, `form` for its screen.
struct Harness {
    explicit Harness(SessionPorts ports = {});
    // Closes the window through its title bar, as the view does; whether it
    // closed.
    bool close();
    QString path(const QString& name) const { return dir.filePath(name); }
    // Puts problem n, given as the five lines of a marked record.
    void setRow(int n, const QString& question, const QString& terms, const QString& groups,
                const QString& answers, const QString& explanation = QString());

    QTemporaryDir dir;
    FakeMeasure measure;
    FakePlayers players;
    FakeDialogs dialogs;
    // The folder's marks file, unless the ports name other marks.
    MarksStore* fileMarks = nullptr;
    std::unique_ptr<Session> owned;
    SeriesState& state;
    Driven<Session> session;
    Driven<MainScreen> form;
};
