#pragma once

#include "server/http/HttpRoutes.h"
#include "server/http/HttpServer.h"
#include "server/learner/LearnerSessions.h"
#include "server/learner/RoundEvents.h"
#include "server/learner/StoreCalls.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

class SignInGuard;
class Store;
class StoreThreads;
class TextMeasure;

// The learner's requests: sign-in with a code, sign-out, the page's verbs
// and the learner's record. Who may call each is in the table; the server
// checks it before a handler runs.
class LearnerRoutes
{
public:
    struct Setup {
        QString workDir;
        QString homePage;
        const TextMeasure* measure = nullptr;
        const StoreThreads* stores = nullptr;
        SignInGuard* guard = nullptr;
    };
    LearnerRoutes(Setup setup, StoreCalls::Desks desks);

    // A request with the session cookie's hash (for a learner's route).
    struct Call {
        const HttpRequest& request;
        const HttpResponder& respond;
        QStringView path;
        QByteArray sessionHash;
    };
    using Handler = HttpReply (LearnerRoutes::*)(const Call&);
    static const HttpRoutes::Table<Handler>& routes();

    // A learner's session ends after `minutes` without an action.
    void setSignOutAfter(int minutes);
    qint64 signOutAfterMs() const { return signOutAfterMs_; }
    static constexpr int DefaultSignOutAfter = 30;
    // Sessions whose time ran out end in the store, each told in the log.
    void endIdleSessions();

    // The learner's 学習の記録 as GET /api/progress gives it them, for
    // their teacher.
    HttpReply record(Store& store, const QString& learner) const;

    // A removed learner's open series and known sessions go with them.
    void forgetLearner(const QString& learner);
    // The learner's known sessions are looked up in the store again (a new
    // code).
    void forgetSessionsOf(const QString& learner);

    // みんなで解く's event streams, the projector's too.
    RoundEvents& roundEvents() { return events_; }

private:
    // Whether a round is open, asked once or as an event stream.
    HttpReply round(const Call& call);
    HttpReply signIn(const Call& call);
    HttpReply signOut(const Call& call);
    HttpReply progress(const Call& call);
    HttpReply verb(const Call& call);

    HttpReply signOutNow(Store& store, const QByteArray& hash);
    // The session the browser still had, ended before another sign-in.
    void endEarlierSession(Store& store, const QByteArray& cookieHeader);
    void toLearner(const QString& learner, const QByteArray& hash,
                   std::optional<Requests::Command> command, const HttpResponder& respond);
    std::optional<QString> knownLearner(const QByteArray& hash);
    void rememberSession(const QByteArray& hash, const QString& learner);
    void forgetSession(const QByteArray& hash);

    Setup setup_;
    StoreCalls::Desks desks_;
    LearnerSessions learners_;
    std::atomic<qint64> signOutAfterMs_{DefaultSignOutAfter * 60 * qint64(1000)};
    // Sessions seen lately, so that most requests need no look-up in the
    // store; a session removed by another server goes within a minute.
    struct KnownSession {
        QString learner;
        qint64 seenMs = 0;
    };
    std::mutex mutex_;
    QHash<QByteArray, KnownSession> knownSessions_;
    static constexpr qint64 SessionRecheckMs = 60000;
    RoundEvents events_;
};
