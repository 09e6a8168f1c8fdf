#pragma once

#include "server/http/HttpServer.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QTimer;
class Store;
class Workers;

// みんなで解く as it happens: each learner's page and each projector holds
// an event stream, and every few hundred milliseconds one worker reads from
// the store the state of each class watched (so that a round started on
// another server sharing the store is seen as well) and tells each stream
// what has changed. A stream ends at its session's end, found at its
// sign-out here or in the store within seconds.
class RoundEvents
{
public:
    explicit RoundEvents(Workers& reads);
    ~RoundEvents();
    RoundEvents(const RoundEvents&) = delete;
    RoundEvents& operator=(const RoundEvents&) = delete;

    // A learner's page is told the number of their class's round's last
    // step (0: no round), now and whenever it changes.
    HttpReply learnerStream(qint64 classId, const QByteArray& session);
    // The projector is told the round's step and how often its boards have
    // changed, as "step/moves".
    HttpReply classStream(qint64 classId, const QByteArray& session);
    // The streams of a session that has ended.
    void endSession(const QByteArray& session);

    static constexpr int CheckMs = 300;
    // A session's streams at once (its tabs); the oldest goes first.
    static constexpr int MaxPerSession = 4;

private:
    struct Shared;
    HttpReply add(qint64 classId, const QByteArray& session, bool teacher);
    void tick();

    std::shared_ptr<Shared> shared_;
    Workers& reads_;
    std::unique_ptr<QTimer> timer_;
};
