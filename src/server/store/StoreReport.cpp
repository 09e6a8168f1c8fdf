#include "server/store/StoreReport.h"

#include "record/FastStatementReader.h"
#include "report/ClassFolder.h"
#include "server/store/Store.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <numeric>
#include <thread>
#include <tuple>
#include <vector>

namespace StoreReport
{

namespace
{

struct Row {
    int learner = 0; // by the learners' names in order
    qint64 timestampMs = 0;
    QString id;
    std::optional<Answer> answer;
    QString why;
};

// The rows by learner, time and id, as the database would have sorted them.
std::vector<std::size_t> inOrder(const std::deque<Row>& rows, const QStringList& learners)
{
    QList<int> rank(learners.size());
    QList<int> byName(learners.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(),
              [&learners](int x, int y) { return learners.at(x) < learners.at(y); });
    for (int i = 0; i < byName.size(); ++i) {
        rank[byName.at(i)] = i;
    }
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&rows, &rank](std::size_t x, std::size_t y) {
        const Row &a = rows[x], &b = rows[y];
        return std::tie(rank[a.learner], a.timestampMs, a.id) <
               std::tie(rank[b.learner], b.timestampMs, b.id);
    });
    return order;
}

// Parses statements on a thread of its own while the database is read:
// the two take about as long. Each row is parsed in place; a few batches
// wait at most, so that the text read is let go soon after.
class Parser
{
public:
    Parser() : thread_([this] { run(); }) {}
    ~Parser() { finish(); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    void add(Row* row, QByteArray json)
    {
        batch_.emplace_back(row, std::move(json));
        if (batch_.size() == BatchSize) {
            send();
        }
    }
    // Waits until every row added is parsed.
    void finish()
    {
        if (!thread_.joinable()) {
            return;
        }
        send();
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    using Batch = std::vector<std::pair<Row*, QByteArray>>;
    static constexpr std::size_t BatchSize = 512;
    static constexpr std::size_t MaxWaiting = 4;

    void send()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return waiting_.size() < MaxWaiting; });
        waiting_.push_back(std::move(batch_));
        batch_ = {};
        lock.unlock();
        changed_.notify_all();
    }
    void run()
    {
        FastStatementReader reader;
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return done_ || !waiting_.empty(); });
            if (waiting_.empty()) {
                return;
            }
            Batch batch = std::move(waiting_.front());
            waiting_.pop_front();
            lock.unlock();
            changed_.notify_all();
            for (auto& [row, json] : batch) {
                row->answer = reader.parse(json, &row->why);
            }
        }
    }

    Batch batch_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> waiting_;
    bool done_ = false;
    std::thread thread_; // last: it starts once the rest is made
};

} // namespace

QHash<QString, QString> shownNames(Store& store, const std::optional<QList<qint64>>& classIds)
{
    const std::optional<QList<Store::SchoolClass>> classes = store.classes();
    const bool several = classes && classes->size() > 1;
    QHash<QString, QString> shown;
    const auto add = [&](qint64 id) {
        for (const Store::Learner& l : store.learners(id).value_or(QList<Store::Learner>{})) {
            shown.insert(l.key,
                         several ? QStringLiteral("%1 %2").arg(l.className, l.name) : l.name);
        }
    };
    if (!classIds) {
        add(0);
    }
    for (const qint64 id : classIds.value_or(QList<qint64>{})) {
        add(id);
    }
    return shown;
}

ClassFolder::Read read(Store& store, const std::optional<Learners>& who)
{
    const Learners learnersShown = who ? *who : Learners{shownNames(store), false};
    const QHash<QString, QString>& shown = learnersShown.shown;
    // A deque: rows stay where they are while the parser fills them in.
    std::deque<Row> rows;
    QStringList learners;
    QHash<QString, int> learnerAt;
    Parser parser;
    const bool whole = store.eachStatement([&](const Store::StatementRow& r) {
        if (learnersShown.onlyShown && !shown.contains(r.learner)) {
            return;
        }
        const auto known = learnerAt.constFind(r.learner);
        const int learner = known != learnerAt.cend() ? *known : int(learners.size());
        if (known == learnerAt.cend()) {
            learnerAt.insert(r.learner, learner);
            learners.append(r.learner);
        }
        rows.push_back({learner, r.timestampMs, r.id, {}, {}});
        parser.add(&rows.back(), r.json);
    });
    parser.finish();
    const std::vector<std::size_t> order = inOrder(rows, learners);
    ClassFolder::Read out;
    out.answers.reserve(qsizetype(rows.size()));
    for (std::size_t i = 0; i < order.size(); ++i) {
        Row& row = rows[order[i]];
        if (row.answer) {
            row.answer->learner = shown.value(row.answer->learner, row.answer->learner);
            out.answers.append(std::move(*row.answer));
        } else {
            out.leftOut.append({store.where(), int(i + 1), row.why});
        }
    }
    if (!whole) {
        out.leftOut.append(
            {store.where(), 0, QStringLiteral("データベースの回答を最後まで読めません")});
    }
    return out;
}

ClassReport::Report of(Store& store, const QString& workDir, const std::optional<Learners>& who)
{
    ClassFolder::Read in = read(store, who);
    return ClassFolder::report(std::move(in.answers), std::move(in.leftOut), workDir);
}

} // namespace StoreReport
