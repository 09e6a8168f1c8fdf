#include "server/learner/LearnerSessions.h"

#include "server/learner/LearnerScreen.h"
#include "server/learner/VerbProtocol.h"
#include "server/log/ServerLog.h"
#include "server/store/Store.h"

#include <QDateTime>

#include <algorithm>
#include <atomic>
#include <condition_variable>

namespace
{

using Answer = LearnerSessions::Answer;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

Answer refusal(int status, const QString& reason)
{
    return {status, VerbProtocol::error(reason), 0, false};
}

// The store could not take it: nothing of the action was kept, and the page
// sends it again. The store's own words (and its address) stay in the log.
Answer unavailable()
{
    Answer a = refusal(503, QStringLiteral("保存できません。もう一度送っています…"));
    a.retryAfter = 1;
    return a;
}

} // namespace

struct LearnerSessions::Desk {
    QString learner;
    // Each request with whether it only looks at the state.
    std::deque<std::pair<bool, std::function<void(Desk&)>>> jobs;
    bool running = false;
    qint64 lastUsed = 0;
    // The session as this process last had it, and the stored seq it is.
    std::unique_ptr<LearnerScreen> screen;
    qint64 seq = -1;
    // The session of the class round under way, apart from the learner's
    // own, and the round and problem it is of.
    std::unique_ptr<LearnerScreen> round;
    QString roundKey;
    qint64 roundSeq = -1; // the stored seq it is the board of
};

namespace
{

// A database server takes many learners' actions at once, and its threads
// wait on it more than they compute. SQLite takes one writer at a time, from
// an action's first read to its commit: a second thread would only wait for
// its lock, and its connection's page cache, which SQLite drops whenever
// another connection has written, would be stale at every action.
int actionThreads(const StoreThreads& stores)
{
    const int processors = QThread::idealThreadCount();
    return stores.oneWriter() ? 1 : std::max(8, 2 * processors);
}

} // namespace

// Each thread takes one learner's requests at a time. Looks at the state
// have threads of their own, so that actions waiting for a store another
// program holds never hold up a page load.
LearnerSessions::LearnerSessions(Setup setup)
    : setup_(std::move(setup)),
      workers_(*setup_.stores, actionThreads(*setup_.stores), 1 << 20, false),
      looks_(*setup_.stores, std::max(4, QThread::idealThreadCount()), 1 << 20, false)
{
}

LearnerSessions::~LearnerSessions()
{
    // A look may still hand its learner's next action on to the workers.
    looks_.finish();
    workers_.finish();
}

void LearnerSessions::forget(const QString& learner)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    desks_.remove(learner);
}

void LearnerSessions::submit(const QString& learner, bool look, std::function<void(Desk&)> job,
                             const Done& refuse)
{
    std::shared_ptr<Desk> desk;
    bool start = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<Desk>& d = desks_[learner];
        if (!d) {
            d = std::make_shared<Desk>();
            d->learner = learner;
        }
        desk = d;
        if (desk->jobs.size() >= MaxWaiting) {
            desk.reset();
        } else {
            desk->jobs.emplace_back(look, std::move(job));
            desk->lastUsed = ++ticks_;
            start = !std::exchange(desk->running, true);
        }
        if (desks_.size() > MaxKept) {
            dropIdle();
        }
    }
    if (!desk) {
        Answer a = refusal(429, QStringLiteral("操作が多すぎます。少し待ってください"));
        a.retryAfter = 1;
        refuse(a);
    } else if (start) {
        runOn(look, desk);
    }
}

// Each job takes this thread's store itself: a failed one is dropped and
// opened again on the way.
void LearnerSessions::runOn(bool looks, const std::shared_ptr<Desk>& desk)
{
    (looks ? looks_ : workers_).run([this, looks, desk](Store*, const QString&) {
        runQueue(looks, desk);
    });
}

// Learners idle longest are let go; their sessions stay in the store.
void LearnerSessions::dropIdle()
{
    QList<std::pair<qint64, QString>> idle;
    for (auto it = desks_.cbegin(); it != desks_.cend(); ++it) {
        if (!it.value()->running) {
            idle.append({it.value()->lastUsed, it.key()});
        }
    }
    std::sort(idle.begin(), idle.end());
    for (qsizetype i = 0; i < idle.size() && desks_.size() > MaxKept * 3 / 4; ++i) {
        desks_.remove(idle.at(i).second);
    }
}

// A thread for looks hands an action on to the workers, in its turn.
void LearnerSessions::runQueue(bool looks, const std::shared_ptr<Desk>& desk)
{
    for (;;) {
        std::function<void(Desk&)> job;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (desk->jobs.empty()) {
                desk->running = false;
                return;
            }
            if (looks && !desk->jobs.front().first) {
                break;
            }
            job = std::move(desk->jobs.front().second);
            desk->jobs.pop_front();
        }
        job(*desk);
    }
    runOn(false, desk);
}

void LearnerSessions::act(const QString& learner, const QByteArray& sessionHash,
                          const Requests::Command& command, Done done)
{
    submit(
        learner, false,
        [this, sessionHash, c = command, done](Desk& desk) {
            QString failed;
            Store* store = setup_.stores->here(&failed);
            if (store == nullptr) {
                ServerLog::often(failed);
                done(unavailable());
                return;
            }
            done(run(desk, *store, sessionHash, &c));
        },
        done);
}

void LearnerSessions::state(const QString& learner, const QByteArray& sessionHash, Done done)
{
    submit(
        learner, true,
        [this, sessionHash, done](Desk& desk) {
            QString failed;
            Store* store = setup_.stores->here(&failed);
            done(store == nullptr ? unavailable() : run(desk, *store, sessionHash, nullptr));
        },
        done);
}

// Whatever fails, the session in memory may no longer be the stored one.
LearnerSessions::Answer LearnerSessions::failure(Desk& desk, Store& store, const QString& why)
{
    if (store.inTransaction()) {
        store.rollback();
    }
    ServerLog::often(why);
    desk.screen.reset();
    desk.seq = -1;
    setup_.stores->forget();
    return unavailable();
}

LearnerSessions::Answer LearnerSessions::run(Desk& desk, Store& store,
                                             const QByteArray& sessionHash,
                                             const Requests::Command* c)
{
    const auto fail = [&desk, &store, this](const QString& why) {
        return failure(desk, store, why);
    };
    // An action holds the learner, and SQLite's write lock, from its first
    // read to its commit.
    if (const QString failed = c != nullptr ? store.begin() : QString(); !failed.isEmpty()) {
        return fail(failed);
    }
    const qint64 failuresBefore = store.failureCount();
    const qint64 at = now();
    QString failed;
    const std::optional<Store::Start> start =
        store.start(sessionHash, desk.learner, at, at - 1000, &failed);
    if (!start) {
        return fail(failed);
    }
    if (!start->held) {
        return signedOut(desk, store);
    }
    // An action keeps the session for a while more; looks alone do not, so
    // that a tab left open signs out.
    if (c != nullptr) {
        if (failed = store.extendSession(sessionHash, at + sessionMs_); !failed.isEmpty()) {
            return fail(failed);
        }
    }
    const Store::LearnerState& stored = start->state;
    if (c != nullptr && !c->key.isEmpty() && c->key == stored.lastKey) {
        return sentAgain(desk, store, stored);
    }
    if (!start->round.id.isEmpty()) {
        return runRound(desk, store, *start, c);
    }
    desk.round.reset();
    bringUp(desk, store, stored.seq, stored.value);
    if (store.failureCount() != failuresBefore) {
        return fail(QStringLiteral("学習者の画面を読めません"));
    }
    if (c == nullptr) {
        return {200, VerbProtocol::state(*desk.screen, stored.seq), 0, false};
    }
    if (c->seq != stored.seq || !c->round.isEmpty()) {
        store.rollback();
        return {409,
                VerbProtocol::refused(
                    QStringLiteral("ほかの画面で先に進んでいます。いまの画面を表示します"),
                    *desk.screen, stored.seq),
                0, false};
    }
    Answer a = apply(desk, store, *c, *start);
    return a.status == 503 ? fail(QString::fromUtf8(a.body)) : a;
}

// An action sent again after its reply was lost: answered with the state it
// left, not redone.
LearnerSessions::Answer LearnerSessions::sentAgain(Desk& desk, Store& store,
                                                   const Store::LearnerState& stored)
{
    if (stored.lastReply.isEmpty()) {
        bringUp(desk, store, stored.seq, stored.value);
    }
    store.rollback();
    return {200,
            stored.lastReply.isEmpty() ? VerbProtocol::state(*desk.screen, stored.seq)
                                       : stored.lastReply,
            0, false};
}

// The session has ended (signed out, or the learner removed): whatever was
// asked, nothing more is done for it.
LearnerSessions::Answer LearnerSessions::signedOut(Desk& desk, Store& store)
{
    if (store.inTransaction()) {
        store.rollback();
    }
    desk.screen.reset();
    desk.seq = -1;
    Answer a = refusal(401, QStringLiteral("サインインしてください"));
    a.signedOut = true;
    return a;
}

void LearnerSessions::bringUp(Desk& desk, Store& store, qint64 seq, const QByteArray& value)
{
    if (!desk.screen || desk.seq != seq) {
        desk.screen.reset();
        desk.screen = std::make_unique<LearnerScreen>(desk.learner, setup_.workDir, setup_.homePage,
                                                      *setup_.measure, store, value);
        desk.seq = seq;
    }
    desk.screen->use(store);
}

namespace
{

Answer tooManyChecks()
{
    Answer a = refusal(429, QStringLiteral("答え合わせが続きすぎています。少し待ってください"));
    a.retryAfter = 1;
    return a;
}

} // namespace

LearnerSessions::Answer LearnerSessions::apply(Desk& desk, Store& store, const Requests::Command& c,
                                               const Store::Start& start)
{
    // The learner's checks of the last second as stored, by whichever
    // server: the transaction holds the learner, so no other action of
    // theirs adds one meanwhile.
    const qint64 recent = start.recentStatements;
    const qint64 seq = start.state.seq;
    const bool board = c.kind == Requests::Kind::Move || c.kind == Requests::Kind::Carry;
    if (board && recent >= ChecksPerSecond) {
        store.rollback();
        return tooManyChecks();
    }
    if (const std::optional<LearnerScreen::Refusal> refused = desk.screen->act(c)) {
        store.rollback();
        return {refused->status, VerbProtocol::refused(refused->reason, *desk.screen, seq), 0,
                false};
    }
    if (recent + desk.screen->checksLeft() > ChecksPerSecond) {
        // Nothing of it is kept, and the session in memory is let go: it is
        // the stored one again at the learner's next request.
        store.rollback();
        desk.screen.reset();
        desk.seq = -1;
        return tooManyChecks();
    }
    // The reply is written after the commit: the store's write lock, which
    // every learner's action waits for, is held no longer than the answer
    // takes. A reply lost on the way is made again from the stored state.
    QString failed =
        store.saveLearnerState(desk.learner, {seq + 1, desk.screen->value(), c.key, {}});
    if (failed.isEmpty()) {
        failed = store.commit();
    }
    if (!failed.isEmpty()) {
        return {503, failed.toUtf8(), 0, false};
    }
    desk.seq = seq + 1;
    return {200, VerbProtocol::state(*desk.screen, seq + 1), 0, false};
}

namespace
{

// What a learner may not do in a class round: leave its problem.
bool leavesRound(const Requests::Command& c)
{
    using Requests::Kind;
    return c.kind == Kind::Open ||
           (c.kind == Kind::Press && c.button != Button::Retry && c.button != Button::Explanation &&
            c.button != Button::ExplanationBack && c.button != Button::Mark);
}

} // namespace

// The learner's board in the round: the one this process has, else the one
// stored (by any server), else the round's problem anew.
QString LearnerSessions::bringUpRound(Desk& desk, Store& store, const Store::Round& round,
                                      qint64 seq)
{
    const QString key = QStringLiteral("%1/%2").arg(round.id, QString::number(round.problem));
    // Another server may have moved the board since: the stored seq says.
    if (desk.round && desk.roundKey == key && desk.roundSeq == seq) {
        desk.round->use(store);
        return {};
    }
    desk.round.reset();
    const std::optional<QList<Store::RoundBoard>> kept =
        store.roundBoards(round.id, round.problem, desk.learner);
    if (!kept) {
        return QStringLiteral("みんなで解く問題を読めません");
    }
    const QByteArray value = kept->isEmpty() ? QByteArray() : kept->first().session;
    auto screen = std::make_unique<LearnerScreen>(desk.learner, setup_.workDir, setup_.homePage,
                                                  *setup_.measure, store, value);
    if (value.isEmpty()) {
        if (QString why = screen->showRound(round.series, round.problem, round.id);
            !why.isEmpty()) {
            return why;
        }
    } else {
        screen->setRound(round.id);
    }
    desk.round = std::move(screen);
    desk.roundKey = key;
    desk.roundSeq = seq;
    return {};
}

// In a round the learner's own session is kept as stored; the round's board
// is kept beside it, and the stored seq still counts every action, so that
// a page behind is told as ever.
LearnerSessions::Answer LearnerSessions::runRound(Desk& desk, Store& store,
                                                  const Store::Start& start,
                                                  const Requests::Command* c)
{
    const Store::Round& round = start.round;
    const Store::LearnerState& stored = start.state;
    if (const QString failed = bringUpRound(desk, store, round, stored.seq); !failed.isEmpty()) {
        return failure(desk, store, failed);
    }
    LearnerScreen& screen = *desk.round;
    const VerbProtocol::Round shown{desk.roundKey, round.version};
    if (c == nullptr) {
        return {200, VerbProtocol::state(screen, stored.seq, false, &shown), 0, false};
    }
    const auto refuse = [&](int status, const QString& why) {
        store.rollback();
        return Answer{status, VerbProtocol::refused(why, screen, stored.seq, false, &shown), 0,
                      false};
    };
    if (c->seq != stored.seq || c->round != desk.roundKey) {
        return refuse(409, QStringLiteral("先生の問題に変わりました。いまの画面を表示します"));
    }
    if (leavesRound(*c)) {
        return refuse(409, QStringLiteral("先生の問題の間は、ほかの問題には進めません"));
    }
    if (const std::optional<LearnerScreen::Refusal> refused = screen.act(*c)) {
        return refuse(refused->status, refused->reason);
    }
    if (start.recentStatements + screen.checksLeft() > ChecksPerSecond) {
        store.rollback();
        desk.round.reset();
        return tooManyChecks();
    }
    const bool answered = screen.checksLeft() > 0;
    const QByteArray body = VerbProtocol::state(screen, stored.seq + 1, false, &shown);
    QString failed = saveRound(store, desk, round, answered);
    if (failed.isEmpty()) {
        failed = store.saveLearnerState(desk.learner, {stored.seq + 1, stored.value, c->key, body});
    }
    if (failed.isEmpty()) {
        failed = store.commit();
    }
    if (!failed.isEmpty()) {
        desk.round.reset();
        return failure(desk, store, failed);
    }
    desk.screen.reset();
    desk.seq = -1;
    desk.roundSeq = stored.seq + 1;
    return {200, body, 0, false};
}

// The learner's row of the round: where each term lies now, and whether
// this action checked it (the store keeps it checked once it has been).
QString LearnerSessions::saveRound(Store& store, Desk& desk, const Store::Round& round,
                                   bool checked)
{
    const Quiz& quiz = desk.round->screen().quiz;
    Store::RoundBoard board{desk.learner, {}, checked, desk.round->value()};
    for (int i = 0; i < quiz.terms(); ++i) {
        board.placements.append(quiz.frameOf(i));
    }
    return store.saveRoundBoard(round.id, round.problem, board);
}
