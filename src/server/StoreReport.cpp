#include "server/StoreReport.h"

#include "record/FastStatementReader.h"
#include "report/ClassFolder.h"
#include "server/Store.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <deque>
#include <numeric>
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

} // namespace

ClassFolder::Read read(Store& store)
{
    std::deque<Row> rows;
    QStringList learners;
    QHash<QString, int> learnerAt;
    FastStatementReader reader;
    const bool whole = store.eachStatement([&](const Store::StatementRow& r) {
        const auto known = learnerAt.constFind(r.learner);
        const int learner = known != learnerAt.cend() ? *known : int(learners.size());
        if (known == learnerAt.cend()) {
            learnerAt.insert(r.learner, learner);
            learners.append(r.learner);
        }
        Row row{learner, r.timestampMs, r.id, {}, {}};
        row.answer = reader.parse(r.json, &row.why);
        rows.push_back(std::move(row));
    });
    const std::vector<std::size_t> order = inOrder(rows, learners);
    ClassFolder::Read out;
    out.answers.reserve(qsizetype(rows.size()));
    for (std::size_t i = 0; i < order.size(); ++i) {
        Row& row = rows[order[i]];
        if (row.answer) {
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

ClassReport::Report of(Store& store, const QString& workDir)
{
    ClassFolder::Read in = read(store);
    return ClassFolder::report(std::move(in.answers), std::move(in.leftOut), workDir);
}

} // namespace StoreReport
