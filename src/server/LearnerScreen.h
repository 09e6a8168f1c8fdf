#pragma once

#include "server/Requests.h"
#include "session/KeptMessages.h"
#include "session/MainScreen.h"
#include "session/Players.h"
#include "session/Recording.h"
#include "series/SeriesState.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <array>
#include <optional>

class Store;
class TextMeasure;

// Players that play nothing here but note the cue: the page plays it.
class CuePlayers : public Players
{
public:
    void open(SoundCue cue, const QString& fileName) override;
    void rewind(SoundCue /*cue*/) override {}
    void play(SoundCue cue) override { played = cue; }

    std::optional<SoundCue> played;
    std::array<QString, 4> fileNames;
};

// One learner's screen: the desktop's own screen model and handlers, with
// the learner's marks kept in the store instead of the folder's marks file.
// Each request the page makes becomes one event of that model; what the
// page draws is the model's controls afterwards.
class LearnerScreen
{
public:
    LearnerScreen(QString learner, const QString& workDir, const TextMeasure& measure, Store& store);
    LearnerScreen(const LearnerScreen&) = delete;
    LearnerScreen& operator=(const LearnerScreen&) = delete;

    // A request the screen refused: the HTTP status and a Japanese reason.
    struct Refusal {
        int status = 409;
        QString reason;
    };

    // The problems "今日の復習" opens, listed after the catalogue's series
    // while there are any; only on the series list.
    void setReview(QList<ReviewProblem> due);
    std::optional<Refusal> open(int entry);
    std::optional<Refusal> move(const Requests::Move& move);
    std::optional<Refusal> press(Requests::Button button);
    // Stores what leaving the series would store: the server is stopping.
    void leave();

    // Everything the page draws; takes the sound to play and the messages
    // to show, which are given once.
    QJsonObject state();

    const MainScreen& screen() const { return screen_; }
    const QString& learner() const { return learner_; }
    CuePlayers& players() { return players_; }
    ProblemIndex& problemIndex() { return screen_.problemIndex; }

    // A check of a complete answer that the last move made, if any.
    struct Checked {
        Problem problem;
        QString series;
        QList<int> correct; // 1-based
        QList<int> placed;  // 1-based
        int frames = 0;
        int right = 0;
        int attempt = 1;
        qint64 durationMs = 0;
    };
    std::optional<Checked> takeChecked() { return std::exchange(checked_, std::nullopt); }

private:
    void storePendingMark();
    void storeUnmarks();
    void openMarks();
    QString seriesOfMarked(const Problem& problem);
    void newShowing();
    void noteCheck();
    bool mayPress(Requests::Button button) const;

    QString learner_;
    Store& store_;
    SeriesState state_;
    CuePlayers players_;
    KeptMessages dialogs_;
    MainScreen screen_;
    // Where each row of the marked series lies in the store.
    QList<qint64> markPositions_;
    QStringList notices_;
    qint64 shownAtMs_ = 0;
    int attempt_ = 0;
    std::optional<Checked> checked_;
};
