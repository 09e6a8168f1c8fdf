#pragma once

#include "record/Progress.h"
#include "server/learner/Requests.h"
#include "server/learner/StorePorts.h"
#include "session/Session.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>

#include <optional>

class JsonWriter;
class Store;
class TextMeasure;

// One learner's session on the server: the desktop's session with the
// learner's answers and marks kept in the store. Each request the page
// makes is one of the session's verbs; what the page draws is the screen
// afterwards, with what the verbs changed.
class LearnerScreen
{
public:
    // A new session, or (with `value`) the one stored: a server started
    // again, or another server, continues the learner where they were.
    LearnerScreen(QString learner, const QString& workDir, const QString& homePage,
                  const TextMeasure& measure, Store& store, const QByteArray& value = {});
    // A teacher's preview of a problem being written: the learner's screen
    // on that one problem, whose answers are never recorded and whose marks
    // are never kept, so that trying a draft leaves nothing in any record.
    LearnerScreen(const QString& workDir, const TextMeasure& measure);
    LearnerScreen(const LearnerScreen&) = delete;
    LearnerScreen& operator=(const LearnerScreen&) = delete;

    // A request the session refused: the HTTP status and a Japanese reason.
    struct Refusal {
        int status = 409;
        QString reason;
    };

    // The verb a request names, as the learner's page sends it.
    std::optional<Refusal> act(const Requests::Command& command);
    // The store of the thread the next verbs run on.
    void use(Store& store);
    // The session as a value to store, JSON.
    QByteArray value() const;

    // Everything the page draws, with the sound, the messages and the focus
    // the last verbs left (those are given once), into the object `out` has
    // open; only the buttons `buttons` names, when it names any.
    void writeState(JsonWriter& out, const QList<QLatin1StringView>& buttons = {});
    // The learner's record as the desktop's 学習の記録 button shows it;
    // nothing when there is no record.
    std::optional<Progress> progress();

    // The list's instruction in the browser, where a series opens with a tap
    // or a click.
    static constexpr const char16_t* ListPrompt =
        u"今から行う問題をリストの中から選んでタップ/クリックして下さい";

    // Puts `problem` on the board as the only problem of a series titled
    // `title`, as opening that series does.
    void showOnly(const Problem& problem, const QString& title);

    // Puts problem `problem` (1 on) of `series` on the board alone, as a
    // class round gives it, its answers named as the round's (`round`);
    // the reason when the series has no such problem; `problems` is set to
    // how many the series has.
    QString showRound(const QString& series, int problem, const QString& round,
                      int* problems = nullptr);
    // A stored round session taken up again gives its answers as the round's.
    void setRound(const QString& round);

    const MainScreen& screen() const { return session_.screen(); }
    const QString& learner() const { return learner_; }
    // The learner's name as shown to them.
    const QString& shownName() const { return answers_ ? answers_->learnerName() : learner_; }
    // How many checks the verbs since the last state() made.
    qsizetype checksLeft() const { return left_.answers.size(); }

private:
    Outcome verb(const Requests::Command& command);
    std::optional<Refusal> take(Outcome outcome);

    QString learner_;
    // The session's ports in the store, none in a preview.
    StoreAnswers* answers_ = nullptr;
    StoreMarks* marks_ = nullptr;
    Session session_;
    // What the verbs since the last state() left for the page.
    Outcome left_;
};
