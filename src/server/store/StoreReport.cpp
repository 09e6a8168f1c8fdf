#include "server/store/StoreReport.h"

#include "record/FastStatementReader.h"
#include "record/ProblemIndex.h"
#include "report/ClassFolder.h"
#include "report/LocalTime.h"
#include "server/store/Store.h"

#include <QHash>
#include <QSet>
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

// What MarksFold reads of an answer: a school's year of them held at once
// stays small.
Answer lean(Answer&& a)
{
    Answer out;
    out.learner = std::move(a.learner);
    out.series = std::move(a.series);
    out.problemHash = std::move(a.problemHash);
    out.success = a.success;
    out.timestampMs = a.timestampMs;
    out.attempt = a.attempt;
    out.durationMs = a.durationMs;
    return out;
}

// Parses statements on a thread of its own while the database is read:
// the two take about as long. Each row is parsed in place; a few batches
// wait at most, so that the text read is let go soon after.
class Parser
{
public:
    Parser() : thread_([this] { run(); }) {}
    // For the grade book alone: each answer's problem named as the series
    // files of `workDir` name it now, then only what MarksFold reads kept.
    explicit Parser(const QString& workDir)
        : index_(std::make_unique<ProblemIndex>(workDir)), thread_([this] { run(); })
    {
    }
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
                if (index_ && row->answer) {
                    index_->update(*row->answer);
                    row->answer = lean(std::move(*row->answer));
                }
            }
        }
    }

    Batch batch_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> waiting_;
    bool done_ = false;
    std::unique_ptr<ProblemIndex> index_;
    std::thread thread_; // last: it starts once the rest is made
};

} // namespace

School school(Store& store, const std::optional<QList<qint64>>& classIds)
{
    const QList<Store::SchoolClass> classes = store.classes().value_or(QList<Store::SchoolClass>{});
    School out;
    QSet<qint64> chosen;
    for (const Store::SchoolClass& c : classes) {
        if (!classIds || classIds->contains(c.id)) {
            out.classes.append(c.name);
            chosen.insert(c.id);
        }
    }
    for (const Store::Learner& l : store.learners(0).value_or(QList<Store::Learner>{})) {
        if (!chosen.contains(l.classId)) {
            continue;
        }
        // With the class's name when the school has several.
        const QString shown =
            classes.size() > 1 ? QStringLiteral("%1 %2").arg(l.className, l.name) : l.name;
        out.shown.insert(l.key, shown);
        out.order.append(shown);
        out.people.insert(shown, {l.className, l.number, l.name});
    }
    return out;
}

ClassFolder::Read read(Store& store, const std::optional<Learners>& who)
{
    const Learners learnersShown = who ? *who : Learners{school(store).shown, false};
    const QHash<QString, QString>& shown = learnersShown.shown;
    // A deque: rows stay where they are while the parser fills them in.
    std::deque<Row> rows;
    QStringList learners;
    QHash<QString, int> learnerAt;
    Parser parser;
    const auto take = [&](const Store::StatementRow& r) {
        const auto known = learnerAt.constFind(r.learner);
        const int learner = known != learnerAt.cend() ? *known : int(learners.size());
        if (known == learnerAt.cend()) {
            learnerAt.insert(r.learner, learner);
            learners.append(r.learner);
        }
        rows.push_back({learner, r.timestampMs, r.id, {}, {}});
        parser.add(&rows.back(), r.json);
    };
    // A class's statements are found by its learners' keys, not by reading
    // every class's.
    QStringList keys = shown.keys();
    keys.sort();
    const bool whole = learnersShown.onlyShown ? store.eachStatementOf(keys, learnersShown.fromMs,
                                                                       learnersShown.toMs, take)
                                               : store.eachStatement(take);
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

ClassReport::Report ofClasses(Store& store, const QString& workDir, const QList<qint64>& classIds,
                              QDate from, QDate to)
{
    School chosen = school(store, classIds);
    Learners who{std::move(chosen.shown), true};
    who.fromMs = from.isValid() ? LocalTime::startOf(from) : who.fromMs;
    who.toMs = to.isValid() ? LocalTime::startOf(to.addDays(1)) : who.toMs;
    ClassReport::Report report = of(store, workDir, who);
    ClassReport::placeLearners(&report, chosen.order, std::move(chosen.people),
                               std::move(chosen.classes));
    return report;
}

namespace
{

// Learners' statements as read, each learner's together (by key), parsed
// down to what MarksFold reads.
struct Read {
    std::deque<Row> rows;
    std::vector<std::size_t> starts; // where each learner's rows begin
};

void readLean(Store& store, const QString& workDir, const QStringList& keys, QDate from, QDate to,
              Read* out)
{
    QString current;
    Parser parser(workDir);
    const auto take = [&](const Store::StatementRow& r) {
        if (out->starts.empty() || r.learner != current) {
            out->starts.push_back(out->rows.size());
            current = r.learner;
        }
        out->rows.push_back({0, r.timestampMs, r.id, {}, {}});
        parser.add(&out->rows.back(), r.json);
    };
    store.eachStatementOf(keys, from.isValid() ? LocalTime::startOf(from) : Learners().fromMs,
                          to.isValid() ? LocalTime::startOf(to.addDays(1)) : Learners().toMs, take);
    parser.finish();
    out->starts.push_back(out->rows.size());
}

// Learner by learner as read, each by time and id: the order read() puts
// them in, without sorting them all together.
void foldLean(Read& in, const QHash<QString, QString>& shown, ClassReport::MarksFold* fold)
{
    std::vector<std::size_t> order;
    for (std::size_t s = 0; s + 1 < in.starts.size(); ++s) {
        order.resize(in.starts[s + 1] - in.starts[s]);
        std::iota(order.begin(), order.end(), in.starts[s]);
        std::stable_sort(order.begin(), order.end(), [&in](std::size_t x, std::size_t y) {
            return std::tie(in.rows[x].timestampMs, in.rows[x].id) <
                   std::tie(in.rows[y].timestampMs, in.rows[y].id);
        });
        for (const std::size_t i : order) {
            if (std::optional<Answer>& a = in.rows[i].answer) {
                a->learner = shown.value(a->learner, a->learner);
                fold->add(*a);
            }
        }
    }
}

} // namespace

ClassReport::Report marksOfClasses(Store& store, const QString& workDir,
                                   const QList<qint64>& classIds, QDate from, QDate to)
{
    School chosen = school(store, classIds);
    QStringList keys = chosen.shown.keys();
    keys.sort();
    // The later half of the learners is read on a connection of its own,
    // as reading and parsing a school's statements takes seconds each.
    const qsizetype half = keys.size() / 2;
    Read first;
    Read second;
    bool secondRead = false;
    std::thread other([&] {
        Store another;
        if (another.openLike(store).isEmpty()) {
            readLean(another, workDir, keys.mid(half), from, to, &second);
            secondRead = true;
        }
    });
    readLean(store, workDir, keys.mid(0, half), from, to, &first);
    other.join();
    if (!secondRead) {
        second = {};
        readLean(store, workDir, keys.mid(half), from, to, &second);
    }
    ClassReport::MarksFold fold;
    foldLean(first, chosen.shown, &fold);
    foldLean(second, chosen.shown, &fold);
    ClassReport::Report report = fold.report({});
    ClassFolder::nameSeries(&report, workDir);
    ClassReport::placeLearners(&report, chosen.order, std::move(chosen.people),
                               std::move(chosen.classes));
    return report;
}

} // namespace StoreReport
