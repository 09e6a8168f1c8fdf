#include "server/learner/LearnerRoutes.h"

#include "server/http/ServerReplies.h"
#include "server/learner/ProgressRoute.h"
#include "server/learner/SignInGuard.h"
#include "server/learner/VerbProtocol.h"
#include "server/log/ServerLog.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"

#include <QDateTime>

#include <algorithm>

namespace
{

using Access = HttpRoutes::Access;
using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::unavailable;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

const HttpRoutes::Table<LearnerRoutes::Handler>& LearnerRoutes::routes()
{
    static const HttpRoutes::Table<Handler> table = {
        {"POST", u"/api/signin", Access::Anyone, &LearnerRoutes::signIn},
        {"POST", u"/api/signout", Access::LearnerSession, &LearnerRoutes::signOut},
        {"GET", u"/api/progress", Access::LearnerSession, &LearnerRoutes::progress},
        {"GET", u"/api/state", Access::LearnerSession, &LearnerRoutes::verb},
        {"GET", u"/api/round", Access::LearnerSession, &LearnerRoutes::round},
        {"GET", u"/api/round/events", Access::LearnerSession, &LearnerRoutes::round},
        {"POST", u"/api/open", Access::LearnerSession, &LearnerRoutes::verb},
        {"POST", u"/api/move", Access::LearnerSession, &LearnerRoutes::verb},
        {"POST", u"/api/press", Access::LearnerSession, &LearnerRoutes::verb},
        {"POST", u"/api/carry", Access::LearnerSession, &LearnerRoutes::verb},
    };
    return table;
}

LearnerRoutes::LearnerRoutes(Setup setup, StoreCalls::Desks desks)
    : setup_(std::move(setup)), desks_(desks),
      learners_({setup_.workDir, setup_.homePage, setup_.measure, setup_.stores}),
      events_(desks_.reads)
{
    learners_.setSessionLength(signOutAfterMs_);
}

void LearnerRoutes::setSignOutAfter(int minutes)
{
    signOutAfterMs_ = std::max(1, minutes) * 60 * qint64(1000);
    learners_.setSessionLength(signOutAfterMs_);
}

// Whether or not its browser comes back.
void LearnerRoutes::endIdleSessions()
{
    desks_.writes.run([minutes = signOutAfterMs_ / 60000](Store* store, const QString&) {
        if (store == nullptr) {
            return;
        }
        for (const QString& learner : store->endExpiredSessions(now()).value_or(QStringList())) {
            ServerLog::line(QStringLiteral("サインアウト（%1分操作なし） %2")
                                .arg(QString::number(minutes), ServerLog::clean(learner)));
        }
    });
}

HttpReply LearnerRoutes::signIn(const Call& call)
{
    SignInGuard& guard = *setup_.guard;
    QString why;
    const std::optional<Requests::Command> command =
        Requests::parse(Requests::Kind::SignIn, call.request.body, &why);
    const SignInGuard::Limit limit = guard.limitFor(call.request, false);
    const qint64 at = now();
    // Counted before the check: however many come at once, no more than
    // the allowance are checked.
    if (std::optional<HttpReply> refused = guard.reserve(limit, at, QStringLiteral("コード"))) {
        return *refused;
    }
    if (!command) {
        return guard.wrongAnswer(call.respond, QStringLiteral("コードが違います"));
    }
    // One hash of the code, whichever codes exist, on a thread of its own.
    const auto release = [&guard, limit, at] { guard.release(limit, at); };
    return StoreCalls::later(
        desks_.hashing, call.respond,
        [this, &guard, code = command->code, limit, release, respond = call.respond,
         cookie = call.request.value("Cookie"),
         address = guard.clientAddress(call.request)](Store& store) {
            endEarlierSession(store, cookie);
            QString failed;
            const std::optional<QString> learner = store.learnerWithCode(code, &failed);
            if (learner || !failed.isEmpty()) {
                release();
            }
            // The store's failure is not a wrong code: the learner is told to try
            // again, without the store's place or a count towards the limit.
            if (!failed.isEmpty()) {
                return unavailable(StoreCalls::storeDown());
            }
            if (!learner) {
                return guard.wrongAnswer(respond, QStringLiteral("コードが違います"));
            }
            const QByteArray id = SignInCodes::newSessionId();
            const QByteArray hash = SignInCodes::sessionHash(id);
            if (!store.addSession(hash, *learner, now() + signOutAfterMs_).isEmpty()) {
                return unavailable(StoreCalls::storeDown());
            }
            rememberSession(hash, *learner);
            ServerLog::line(
                QStringLiteral("サインイン %1 %2").arg(ServerLog::clean(*learner), address));
            const QString shown =
                store.learner(*learner).value_or(Store::Learner{{}, 0, {}, 0, *learner}).name;
            HttpReply r = json(200, {{QStringLiteral("learner"), shown}});
            r.headers.append(guard.cookie(guard.sessionCookieName(), id, 0));
            r.headers.append(guard.deviceCookie(limit));
            return r;
        },
        release);
}

HttpReply LearnerRoutes::signOut(const Call& call)
{
    return StoreCalls::later(
        desks_.writes, call.respond,
        [this, hash = call.sessionHash](Store& store) { return signOutNow(store, hash); });
}

HttpReply LearnerRoutes::signOutNow(Store& store, const QByteArray& hash)
{
    forgetSession(hash);
    events_.endSession(hash);
    if (const std::optional<QString> learner = store.sessionLearner(hash, 0)) {
        ServerLog::line(QStringLiteral("サインアウト %1").arg(ServerLog::clean(*learner)));
    }
    store.removeSession(hash);
    HttpReply r = json(200, {});
    r.headers.append(setup_.guard->cookie(setup_.guard->sessionCookieName(), {}, 0));
    return r;
}

// On a shared device the next pupil signs in where the last one left off:
// that session ends first, whoever the new code is for.
void LearnerRoutes::endEarlierSession(Store& store, const QByteArray& cookieHeader)
{
    const QByteArray id = Requests::sessionCookie(cookieHeader, setup_.guard->sessionCookieName());
    if (id.isEmpty()) {
        return;
    }
    const QByteArray hash = SignInCodes::sessionHash(id);
    forgetSession(hash);
    if (const std::optional<QString> learner = store.sessionLearner(hash, now())) {
        ServerLog::line(QStringLiteral("サインアウト（同じ端末で次のサインイン） %1")
                            .arg(ServerLog::clean(*learner)));
        store.removeSession(hash);
    }
}

HttpReply LearnerRoutes::progress(const Call& call)
{
    return StoreCalls::later(
        desks_.reads, call.respond, [this, hash = call.sessionHash](Store& store) {
            return ProgressRoute::reply(store, hash,
                                        {setup_.workDir, setup_.homePage, setup_.measure});
        });
}

// Whether the learner's class has a round open, as the number of its last
// step: the page asks often, and loads its state again when it changes.
HttpReply LearnerRoutes::round(const Call& call)
{
    const bool stream = call.path.endsWith(u"/events");
    return StoreCalls::later(
        desks_.reads, call.respond, [this, stream, hash = call.sessionHash](Store& store) {
            QString failed;
            const std::optional<QString> learner = store.sessionLearner(hash, now(), &failed);
            const std::optional<Store::Round> round =
                learner ? store.learnerRound(*learner, &failed) : std::nullopt;
            const std::optional<Store::Learner> who =
                learner ? store.learner(*learner, &failed) : std::nullopt;
            if (!failed.isEmpty()) {
                return unavailable(StoreCalls::storeDown());
            }
            if (!learner || !who) {
                return refusal(401, QStringLiteral("サインインしてください"));
            }
            if (stream) {
                return events_.learnerStream(who->classId, hash);
            }
            return ServerReplies::json(
                200, {{QStringLiteral("round"), round->id.isEmpty() ? 0 : round->version}});
        });
}

HttpReply LearnerRoutes::record(Store& store, const QString& learner) const
{
    return ProgressRoute::learnerReply(store, learner,
                                       {setup_.workDir, setup_.homePage, setup_.measure});
}

// GET /api/state, or a verb (POST /api/<verb>), for the session's learner.
HttpReply LearnerRoutes::verb(const Call& call)
{
    std::optional<Requests::Command> command;
    if (call.request.method == "POST") {
        const VerbProtocol::Read read =
            VerbProtocol::read(call.path.mid(QStringView(u"/api/").size()), call.request.body);
        if (!read.command) {
            return refusal(read.status, read.why);
        }
        command = read.command;
    }
    const auto go = [this, hash = call.sessionHash, command, respond = call.respond](
                        const QString& learner) { toLearner(learner, hash, command, respond); };
    if (const std::optional<QString> learner = knownLearner(call.sessionHash)) {
        go(*learner);
        return ServerReplies::pending();
    }
    return StoreCalls::later(
        desks_.reads, call.respond, [this, hash = call.sessionHash, go](Store& store) {
            QString failed;
            const std::optional<QString> learner = store.sessionLearner(hash, now(), &failed);
            if (!failed.isEmpty()) {
                return unavailable(StoreCalls::storeDown());
            }
            if (!learner) {
                return refusal(401, QStringLiteral("サインインしてください"));
            }
            rememberSession(hash, *learner);
            go(*learner);
            return ServerReplies::pending();
        });
}

// Hands a request to the learner's sessions; their answer goes out from
// the worker that made it.
void LearnerRoutes::toLearner(const QString& learner, const QByteArray& hash,
                              std::optional<Requests::Command> command,
                              const HttpResponder& respond)
{
    const auto answer = [this, respond, hash](const LearnerSessions::Answer& a) {
        if (a.signedOut) {
            forgetSession(hash);
        }
        HttpReply r;
        r.status = a.status;
        r.body = a.body;
        if (a.retryAfter > 0) {
            r.headers.append(
                qMakePair(QByteArray("Retry-After"), QByteArray::number(a.retryAfter)));
        }
        respond(std::move(r));
    };
    if (command) {
        learners_.act(learner, hash, *command, answer);
    } else {
        learners_.state(learner, hash, answer);
    }
}

std::optional<QString> LearnerRoutes::knownLearner(const QByteArray& hash)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto known = knownSessions_.constFind(hash);
    if (known != knownSessions_.cend() && now() - known->seenMs < SessionRecheckMs) {
        return known->learner;
    }
    return std::nullopt;
}

void LearnerRoutes::rememberSession(const QByteArray& hash, const QString& learner)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    // Sessions are checked again within a minute anyway: a table grown
    // large is simply started afresh.
    if (knownSessions_.size() > 100000) {
        knownSessions_.clear();
    }
    knownSessions_.insert(hash, {learner, now()});
}

void LearnerRoutes::forgetSession(const QByteArray& hash)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    knownSessions_.remove(hash);
}

void LearnerRoutes::forgetSessionsOf(const QString& learner)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    knownSessions_.removeIf(
        [&learner](const auto& entry) { return entry.value().learner == learner; });
}

void LearnerRoutes::forgetLearner(const QString& learner)
{
    learners_.forget(learner);
    forgetSessionsOf(learner);
}
