#pragma once

#include "server/learner/Requests.h"

#include <QByteArrayView>
#include <QJsonObject>
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

// The state the page draws: the screen, whose it is and the seq of the
// stored state it is; `preview` for the teacher's preview board.
QJsonObject state(LearnerScreen& screen, qint64 seq, bool preview = false);
// A verb refused: why, with the state the page draws instead.
QJsonObject refused(const QString& reason, LearnerScreen& screen, qint64 seq, bool preview = false);

} // namespace VerbProtocol
