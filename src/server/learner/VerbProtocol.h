#pragma once

#include "server/learner/Requests.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

class LearnerScreen;

// The page's verbs, read once for the learner's routes and the editor's
// preview alike: a request POST …/<verb> with its JSON body is read into a
// command, and every answer carries the screen as the page draws it.
namespace VerbProtocol
{

// A verb request read: its command, or the status (404: no such verb, 400:
// a body that is none of its commands) and the Japanese reason.
struct Read {
    std::optional<Requests::Command> command;
    int status = 0;
    QString why;
};
Read read(QStringView verb, QByteArrayView body);

// A class round's problem, shown in place of the learner's own: the key of
// its problem and the teacher's steps so far.
struct Round {
    QString key;
    qint64 version = 0;
};

// The state the page draws: the screen, whose it is and the seq of the
// stored state it is; `preview` for the teacher's preview board. In a round
// the buttons that would leave its problem are not offered.
QByteArray state(LearnerScreen& screen, qint64 seq, bool preview = false,
                 const Round* round = nullptr);
// A verb refused: why, with the state the page draws instead.
QByteArray refused(const QString& reason, LearnerScreen& screen, qint64 seq, bool preview = false,
                   const Round* round = nullptr);
// Only an error: `{"error": reason}`.
QByteArray error(const QString& reason);

} // namespace VerbProtocol
