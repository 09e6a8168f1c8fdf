#pragma once

#include "quiz/Quiz.h"
#include "record/Answer.h"
#include "session/Prompts.h"
#include "session/Recording.h"
#include "session/TermCarry.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

// What the main screen shows: the series list, a problem being answered,
// the result panel over a solved problem or the end of a series, or the
// explanation.
enum class Screen { SeriesList, Problem, Result, Explanation };

// Everything a learner's session needs to go on, as a plain value: which
// series is open, a hash of its problems' text and each problem's key of
// what it asks (never the text itself), the problem shown, where each term
// lies, the checks carried between problems, a term picked up, marks not
// yet stored, what the screen shows and a question waiting for an answer. A session made anew from
// it behaves as the one it was taken from.
struct SessionValue {
    enum class Source { None, Series, Marked, Review };
    // A problem by the series file it is read from and its hash.
    struct ProblemRef {
        QString series;
        QString hash;
        bool operator==(const ProblemRef&) const = default;
    };
    struct TermPlace {
        float left = 0.0F;
        float top = 0.0F;
        quint32 back = 0;
        bool operator==(const TermPlace&) const = default;
    };

    Screen screen = Screen::SeriesList;
    Source source = Source::None;
    int entry = -1;           // the list entry opened
    QString file;             // Series: the file as the catalogue names it
    QString textHash;         // every problem of the series, hashed in order
    QList<ProblemRef> rows;   // Review: each problem, in order
    std::vector<bool> marked; // each problem, whether it is (still) marked
    // Series: each problem's key (ProblemIds), so that a series saved since
    // keeps the board of a problem that asks what it asked. Empty in values
    // stored before keys were kept.
    QStringList keys;
    int currentProblem = 0;
    int problemCount = 0;
    bool markPending = false;
    bool markOffered = true;

    Quiz::State quiz;
    QList<TermPlace> terms;
    bool resultShown = false;
    QString resultMessage; // kept while hidden: the explanation's 戻る shows it again
    bool resultMessageShown = false;
    std::array<bool, 6> resultButtons{};
    std::array<bool, 2> arrows{};
    bool explanation = false;

    TermCarry carry;

    Showing showing;
    QList<Answer> unsaved; // answers checked but not yet stored
    std::optional<Question> question;
    QString questionText;
    bool stayTakesMarkBack = false;

    bool operator==(const SessionValue&) const = default;

    // Compact JSON, as stored.
    QByteArray toJson() const;
    // Nothing when the JSON is no session value; *why says why.
    static std::optional<SessionValue> fromJson(const QJsonObject& json, QString* why);
};
