#include "server/learner/RoundEvents.h"

#include "server/store/Store.h"
#include "server/store/Workers.h"

#include <QDateTime>
#include <QHash>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <vector>

namespace
{

// How often the sessions behind the streams are looked up, and how long a
// stream goes without a word before a comment keeps it alive.
constexpr qint64 SessionCheckMs = 5000;
constexpr qint64 KeepAliveMs = 15000;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

struct RoundEvents::Shared {
    struct Watch {
        std::shared_ptr<HttpStream> stream;
        qint64 classId = 0;
        QByteArray session;
        bool teacher = false;
        QByteArray last;
        qint64 sentMs = 0;
    };
    std::mutex mutex;
    std::vector<Watch> watches;
    std::atomic<bool> busy{false};
    qint64 sessionsCheckedMs = 0;

    void check(Store& store);
    static std::optional<bool> held(Store& store, const Watch& w, qint64 at);
};

RoundEvents::RoundEvents(Workers& reads)
    : shared_(std::make_shared<Shared>()), reads_(reads), timer_(std::make_unique<QTimer>())
{
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { tick(); });
    timer_->start(CheckMs);
}

RoundEvents::~RoundEvents()
{
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    for (const Shared::Watch& w : shared_->watches) {
        w.stream->close();
    }
}

HttpReply RoundEvents::learnerStream(qint64 classId, const QByteArray& session)
{
    return add(classId, session, false);
}

HttpReply RoundEvents::classStream(qint64 classId, const QByteArray& session)
{
    return add(classId, session, true);
}

HttpReply RoundEvents::add(qint64 classId, const QByteArray& session, bool teacher)
{
    auto stream = std::make_shared<HttpStream>();
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        std::vector<Shared::Watch>& w = shared_->watches;
        const auto count = std::count_if(
            w.cbegin(), w.cend(), [&](const Shared::Watch& x) { return x.session == session; });
        if (count >= MaxPerSession) {
            const auto oldest = std::find_if(
                w.begin(), w.end(), [&](const Shared::Watch& x) { return x.session == session; });
            oldest->stream->close();
            w.erase(oldest);
        }
        w.push_back({stream, classId, session, teacher, {}, now()});
    }
    HttpReply r;
    r.stream = stream;
    // The client tries again a second after the stream breaks.
    r.body = "retry: 1000\n\n";
    return r;
}

void RoundEvents::endSession(const QByteArray& session)
{
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    std::erase_if(shared_->watches, [&](const Shared::Watch& w) {
        if (w.session == session) {
            w.stream->close();
        }
        return w.session == session;
    });
}

// One check at a time, on a worker: the store is read off the event loop.
void RoundEvents::tick()
{
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->watches.empty()) {
            return;
        }
    }
    if (shared_->busy.exchange(true)) {
        return;
    }
    if (!reads_.run([shared = shared_](Store* store, const QString&) {
            if (store != nullptr) {
                shared->check(*store);
            }
            shared->busy = false;
        })) {
        shared_->busy = false;
    }
}

std::optional<bool> RoundEvents::Shared::held(Store& store, const Watch& w, qint64 at)
{
    QString failed;
    const bool found = w.teacher ? store.teacherSession(w.session, at, &failed).has_value()
                                 : store.sessionLearner(w.session, at, &failed).has_value();
    return failed.isEmpty() ? std::optional<bool>(found) : std::nullopt;
}

void RoundEvents::Shared::check(Store& store)
{
    std::vector<Watch> now;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        now = watches;
    }
    const qint64 at = ::now();
    const bool sessions = at - sessionsCheckedMs >= SessionCheckMs;
    if (sessions) {
        sessionsCheckedMs = at;
    }
    QHash<qint64, std::optional<Store::Round>> rounds;
    QHash<qint64, QByteArray> boards;
    for (Watch& w : now) {
        if (w.stream->ended() || (sessions && held(store, w, at) == std::optional<bool>(false))) {
            w.stream->close();
            continue;
        }
        if (!rounds.contains(w.classId)) {
            rounds.insert(w.classId, store.openRound(w.classId));
        }
        const std::optional<Store::Round>& round = rounds.value(w.classId);
        if (!round) {
            continue; // the store failed: the next check tells
        }
        QByteArray said = round->id.isEmpty() ? "0" : QByteArray::number(round->version);
        if (w.teacher && !round->id.isEmpty()) {
            if (!boards.contains(w.classId)) {
                const std::optional<qint64> moves = store.roundMoves(round->id, round->problem);
                boards.insert(w.classId, moves ? QByteArray::number(*moves) : QByteArray());
            }
            said += '/' + boards.value(w.classId);
        }
        if (said != w.last) {
            w.stream->send("event: round\ndata: " + said + "\n\n");
            w.last = said;
            w.sentMs = at;
        } else if (at - w.sentMs >= KeepAliveMs) {
            w.stream->send(": \n\n");
            w.sentMs = at;
        }
    }
    const std::lock_guard<std::mutex> lock(mutex);
    for (const Watch& w : now) {
        for (Watch& kept : watches) {
            if (kept.stream == w.stream) {
                kept.last = w.last;
                kept.sentMs = w.sentMs;
            }
        }
    }
    std::erase_if(watches, [](const Watch& w) { return w.stream->ended(); });
}
