#pragma once

#include "record/Progress.h"
#include "series/SeriesState.h"
#include "server/Requests.h"
#include "server/StorePorts.h"
#include "session/KeptMessages.h"
#include "session/MainScreen.h"
#include "session/SilentPlayers.h"

#include <QJsonObject>
#include <QString>

#include <optional>

class Store;
class TextMeasure;

// One learner's session on the server: the desktop's session with the
// learner's answers and marks kept in the store. Each request the page
// makes is one of the session's verbs; what the page draws is the screen
// afterwards, with what the verb changed.
class LearnerScreen
{
public:
    // A new session, or (with `value`) the one stored: a server started
    // again, or another server, continues the learner where they were.
    LearnerScreen(QString learner, const QString& workDir, const QString& homePage,
                  const TextMeasure& measure, Store& store, const QByteArray& value = {});
    LearnerScreen(const LearnerScreen&) = delete;
    LearnerScreen& operator=(const LearnerScreen&) = delete;

    // A request the screen refused: the HTTP status and a Japanese reason.
    struct Refusal {
        int status = 409;
        QString reason;
    };

    std::optional<Refusal> open(int entry);
    std::optional<Refusal> move(const Requests::Move& move);
    std::optional<Refusal> carry(const Requests::Command& command);
    std::optional<Refusal> press(Requests::Button button);
    // The store of the thread the next verbs run on.
    void use(Store& store);
    // The session as a value to store, JSON.
    QByteArray value() const;

    // Everything the page draws, with the sound, the messages and the focus
    // the last verbs left; those are given once.
    QJsonObject state();
    // The learner's record as the desktop's 学習の記録 button shows it;
    // nothing when there is no record.
    std::optional<Progress> progress();

    // The list's instruction in the browser, where a series opens with a tap
    // or a click.
    static constexpr const char16_t* ListPrompt =
        u"今から行う問題をリストの中から選んでタップ/クリックして下さい";

    const MainScreen& screen() const { return screen_; }
    const QString& learner() const { return learner_; }
    // How many checks the verbs since the last state() made.
    qsizetype checksLeft() const { return left_.answers.size(); }

private:
    bool mayPress(Requests::Button button) const;
    void take(Outcome outcome);

    QString learner_;
    StoreAnswers answers_;
    StoreMarks marks_;
    SeriesState state_;
    SilentPlayers players_;
    KeptMessages dialogs_;
    MainScreen screen_;
    // What the verbs since the last state() left for the page.
    Outcome left_;
};
