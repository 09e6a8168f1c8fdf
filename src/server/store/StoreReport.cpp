#include "server/store/StoreReport.h"

#include "record/FastStatementReader.h"
#include "record/ProblemId.h"
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
#include <functional>
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

// The answer a row keeps beside its statement, as lean() leaves the
// statement's: the store keeps one only where the statement names the
// row's learner, problem and time. `problems` holds the ids met.
Answer keptAnswer(const Store::StatementRow& r, QHash<QString, ProblemIds::Parsed>* problems)
{
    auto problem = problems->constFind(r.problemId);
    if (problem == problems->cend()) {
        problem = problems->insert(r.problemId,
                                   ProblemIds::parse(r.problemId).value_or(ProblemIds::Parsed{}));
    }
    Answer a;
    a.learner = r.learner;
    a.series = problem->series;
    a.problemHash = problem->key;
    a.success = r.kept->success;
    a.timestampMs = r.timestampMs;
    a.attempt = r.kept->attempt;
    a.durationMs = r.kept->durationMs;
    return a;
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

// Statements as read, with their learners in the order met.
struct Rows {
    std::deque<Row> rows; // a deque: rows stay where they are while parsed
    QStringList learners;
    bool whole = true;
};

// The rows a reading of the store (`each`, given the function that takes
// each row) hands over: a row's kept answer as it is, else its statement
// parsed.
template <typename Each> void readRows(Parser& parser, Rows* out, Each each)
{
    QHash<QString, int> learnerAt;
    QHash<QString, ProblemIds::Parsed> problems;
    const auto take = [&](const Store::StatementRow& r) {
        const auto known = learnerAt.constFind(r.learner);
        const int learner = known != learnerAt.cend() ? *known : int(out->learners.size());
        if (known == learnerAt.cend()) {
            learnerAt.insert(r.learner, learner);
            out->learners.append(r.learner);
        }
        out->rows.push_back({learner, r.timestampMs, r.id, {}, {}});
        if (r.kept) {
            out->rows.back().answer = keptAnswer(r, &problems);
        } else {
            parser.add(&out->rows.back(), r.json);
        }
    };
    out->whole = each(take);
    parser.finish();
}

// The statements of `keys` (sorted), learner by learner: the later half of
// the learners read on a second connection of the store, as reading and
// parsing a school's statements takes seconds each. When `leanFor` names
// the work folder, only what the grade book reads: the answers the store
// keeps, the other statements parsed down to it.
Rows readSplit(Store& store, const QStringList& keys, qint64 fromMs, qint64 toMs,
               const QString* leanFor)
{
    const auto parser = [leanFor] {
        return leanFor != nullptr ? std::make_unique<Parser>(*leanFor) : std::make_unique<Parser>();
    };
    const qsizetype half = keys.size() / 2;
    Rows first;
    Rows second;
    bool secondRead = false;
    const auto readOn = [&](Store& from, const QStringList& some, Rows* out) {
        readRows(*parser(), out, [&](const auto& take) {
            return from.eachStatementOf(some, fromMs, toMs, take, leanFor != nullptr);
        });
    };
    std::thread other([&] {
        Store another;
        if (half > 0 && another.openLike(store).isEmpty()) {
            readOn(another, keys.mid(half), &second);
            secondRead = true;
        }
    });
    readOn(store, keys.mid(0, half), &first);
    other.join();
    // A connection that could not be opened or read fails nothing: the
    // store's own reads again, and its failure counts there.
    if (!secondRead || !second.whole) {
        second = {};
        readOn(store, keys.mid(half), &second);
    }
    const int numbered = int(first.learners.size());
    for (Row& r : second.rows) {
        r.learner += numbered;
        first.rows.push_back(std::move(r));
    }
    first.learners += second.learners;
    first.whole = first.whole && second.whole;
    return first;
}

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
        out.classOf.insert(shown, l.classId);
    }
    return out;
}

ClassFolder::Read read(Store& store, const std::optional<Learners>& who)
{
    const Learners learnersShown = who ? *who : Learners{school(store).shown, false};
    const QHash<QString, QString>& shown = learnersShown.shown;
    // A class's statements are found by its learners' keys, not by reading
    // every class's.
    QStringList keys = shown.keys();
    keys.sort();
    Rows all;
    if (learnersShown.onlyShown) {
        all = readSplit(store, keys, learnersShown.fromMs, learnersShown.toMs, nullptr);
    } else {
        Parser parser;
        readRows(parser, &all, [&store](const auto& take) { return store.eachStatement(take); });
    }
    const std::vector<std::size_t> order = inOrder(all.rows, all.learners);
    ClassFolder::Read out;
    out.answers.reserve(qsizetype(all.rows.size()));
    for (std::size_t i = 0; i < order.size(); ++i) {
        Row& row = all.rows[order[i]];
        if (row.answer) {
            row.answer->learner = shown.value(row.answer->learner, row.answer->learner);
            out.answers.append(std::move(*row.answer));
        } else {
            out.leftOut.append({store.where(), int(i + 1), row.why});
        }
    }
    if (!all.whole) {
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

QStringList hiddenFrom(Store& store, qint64 classId)
{
    QStringList files;
    for (const Store::SeriesChoice& c :
         store.classSeries(classId).value_or(QList<Store::SeriesChoice>{})) {
        if (c.hidden) {
            files.append(c.file);
        }
    }
    return files;
}

// Whether an answer, its learner by shown name, is in a series hidden from
// the learner's class.
static std::function<bool(const Answer&)> hiddenFromTheirClass(Store& store, const School& chosen,
                                                               const QList<qint64>& classIds)
{
    QHash<qint64, QStringList> hidden;
    for (const qint64 id : classIds) {
        if (QStringList files = hiddenFrom(store, id); !files.isEmpty()) {
            hidden.insert(id, std::move(files));
        }
    }
    return [hidden = std::move(hidden), classOf = chosen.classOf](const Answer& a) {
        const auto files = hidden.constFind(classOf.value(a.learner, -1));
        return files != hidden.cend() && files->contains(a.series, Qt::CaseInsensitive);
    };
}

ClassReport::Report ofClasses(Store& store, const QString& workDir, const QList<qint64>& classIds,
                              QDate from, QDate to)
{
    School chosen = school(store, classIds);
    Learners who{std::move(chosen.shown), true};
    who.fromMs = from.isValid() ? LocalTime::startOf(from) : who.fromMs;
    who.toMs = to.isValid() ? LocalTime::startOf(to.addDays(1)) : who.toMs;
    ClassFolder::Read in = read(store, who);
    in.answers.removeIf(hiddenFromTheirClass(store, chosen, classIds));
    ClassReport::Report report =
        ClassFolder::report(std::move(in.answers), std::move(in.leftOut), workDir);
    ClassReport::placeLearners(&report, chosen.order, std::move(chosen.people),
                               std::move(chosen.classes));
    return report;
}

ClassReport::Report marksOfClasses(Store& store, const QString& workDir,
                                   const QList<qint64>& classIds, QDate from, QDate to)
{
    School chosen = school(store, classIds);
    QStringList keys = chosen.shown.keys();
    keys.sort();
    Rows all =
        readSplit(store, keys, from.isValid() ? LocalTime::startOf(from) : Learners().fromMs,
                  to.isValid() ? LocalTime::startOf(to.addDays(1)) : Learners().toMs, &workDir);
    // Learner by learner as read (each one's rows together, by key), each
    // by time and id: the order read() puts them in, without sorting them
    // all together.
    const auto hidden = hiddenFromTheirClass(store, chosen, classIds);
    ClassReport::MarksFold fold;
    std::vector<std::size_t> order;
    for (std::size_t start = 0, end = 0; start < all.rows.size(); start = end) {
        for (end = start; end < all.rows.size() && all.rows[end].learner == all.rows[start].learner;
             ++end) {
        }
        order.resize(end - start);
        std::iota(order.begin(), order.end(), start);
        std::stable_sort(order.begin(), order.end(), [&all](std::size_t x, std::size_t y) {
            return std::tie(all.rows[x].timestampMs, all.rows[x].id) <
                   std::tie(all.rows[y].timestampMs, all.rows[y].id);
        });
        for (const std::size_t i : order) {
            if (std::optional<Answer>& a = all.rows[i].answer) {
                a->learner = chosen.shown.value(a->learner, a->learner);
                if (!hidden(*a)) {
                    fold.add(*a);
                }
            }
        }
    }
    ClassReport::Report report = fold.report({});
    ClassFolder::nameSeries(&report, workDir);
    ClassReport::placeLearners(&report, chosen.order, std::move(chosen.people),
                               std::move(chosen.classes));
    return report;
}

} // namespace StoreReport
