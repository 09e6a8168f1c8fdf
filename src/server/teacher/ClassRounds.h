#pragma once

#include "server/store/Store.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <mutex>
#include <optional>

class TextMeasure;

// みんなで解く as the projector shows it: a round's problem as the learners
// see it, and how the class has placed each term, with no learner named.
class ClassRounds
{
public:
    ClassRounds(QString workDir, const TextMeasure& measure);

    // A problem of a series as a round gives it: the board's heading,
    // question, frames (with their colours) and terms, each term's right
    // frame, the series' title and how many problems it has.
    struct Shown {
        QJsonObject board;
        QList<int> right;
        QString title;
        int problems = 0;
    };
    // None, with the reason, when the series or the problem is not there.
    std::optional<Shown> problem(const QString& series, int number, QString* why);

    // The view: per term the count in each frame, 「答えた人 N/M」 (M the
    // class's learners signed in, or with a board), and once revealed each
    // term's right frame and share right, most missed first.
    static QJsonObject view(const Shown& shown, const Store::Round& round,
                            const QList<Store::RoundBoard>& boards, int signedIn);

private:
    std::optional<Shown> read(const QString& series, int number, QString* why) const;

    const QString workDir_;
    const TextMeasure& measure_;
    std::mutex mutex_;
    // By series, problem and the file's time: a series saved since is read again.
    QHash<QString, Shown> shown_;
};
