// 結果 of one class round: for each problem it gave, how the class's first
// checks placed each term (term × frame) and the share right at the first
// check, read from the statements that name the round. No learner is named.

#include "record/Statements.h"
#include "server/http/ServerReplies.h"
#include "server/store/Store.h"
#include "server/teacher/TeacherRoutes.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QUrlQuery>

namespace
{

using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::unavailable;

const QString& StoreDown = ClassAccess::StoreDown;

// One problem's first checks: counts[term][frame] and right first checks.
struct Tally {
    Answer shape;
    QList<QList<int>> counts;
    QList<int> right;
    int answers = 0;
    qint64 firstMs = 0;
};

void add(Tally& t, const Answer& a)
{
    if (t.answers == 0) {
        t.shape = a;
        t.firstMs = a.timestampMs;
        t.counts = QList<QList<int>>(a.terms.size(), QList<int>(a.groups.size(), 0));
        t.right = QList<int>(a.terms.size(), 0);
    }
    ++t.answers;
    for (qsizetype i = 0; i < std::min(a.placed.size(), t.counts.size()); ++i) {
        const int frame = a.placed.at(i) - 1;
        if (frame >= 0 && frame < t.counts.at(i).size()) {
            ++t.counts[i][frame];
        }
        t.right[i] += a.placed.at(i) == a.correct.value(i) ? 1 : 0;
    }
}

QJsonObject problemJson(const Tally& t)
{
    QJsonArray terms;
    for (qsizetype i = 0; i < t.counts.size(); ++i) {
        QJsonArray counts;
        for (const int n : t.counts.at(i)) {
            counts.append(n);
        }
        terms.append(QJsonObject{{QStringLiteral("text"), t.shape.terms.at(i)},
                                 {QStringLiteral("counts"), counts},
                                 {QStringLiteral("right"), t.shape.correct.value(i) - 1},
                                 {QStringLiteral("share"), double(t.right.at(i)) / t.answers}});
    }
    return {{QStringLiteral("heading"), t.shape.heading},
            {QStringLiteral("question"), t.shape.question},
            {QStringLiteral("frames"), QJsonArray::fromStringList(t.shape.groups)},
            {QStringLiteral("answers"), t.answers},
            {QStringLiteral("terms"), terms}};
}

} // namespace

// GET /api/teacher/rounds?class=ID: the class's rounds; with &round=ID, that
// round's report.
HttpReply TeacherRoutes::roundReport(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<qint64> id =
        ClassAccess::oneBy(store, call.teacher, call.request, &refused);
    if (!id) {
        return refused;
    }
    const std::optional<QList<Store::PastRound>> rounds = store.classRounds(*id);
    if (!rounds) {
        return unavailable(StoreDown);
    }
    const qsizetype q = call.request.target.indexOf('?');
    const QString asked = QUrlQuery(QString::fromLatin1(call.request.target.mid(q + 1)))
                              .queryItemValue(QStringLiteral("round"), QUrl::FullyDecoded);
    QJsonArray list;
    const Store::PastRound* chosen = nullptr;
    for (const Store::PastRound& r : *rounds) {
        list.append(QJsonObject{
            {QStringLiteral("id"), r.id},
            {QStringLiteral("series"), r.series},
            {QStringLiteral("started"), QDateTime::fromMSecsSinceEpoch(r.startedMs)
                                            .toString(QStringLiteral("yyyy-MM-dd HH:mm"))},
            {QStringLiteral("open"), r.endedMs == 0}});
        chosen = r.id == asked ? &r : chosen;
    }
    if (asked.isEmpty()) {
        return json(200, {{QStringLiteral("rounds"), list}});
    }
    if (chosen == nullptr) {
        return refusal(404, QStringLiteral("このクラスのみんなで解いた問題ではありません"));
    }
    return roundReportOf(store, *id, *chosen);
}

HttpReply TeacherRoutes::roundReportOf(Store& store, qint64 classId, const Store::PastRound& round)
{
    const std::optional<QList<Store::Learner>> learners = store.learners(classId);
    if (!learners) {
        return unavailable(StoreDown);
    }
    QStringList keys;
    for (const Store::Learner& l : *learners) {
        keys.append(l.key);
    }
    QHash<QString, Tally> tallies;
    StatementReader reader;
    const qint64 to =
        round.endedMs > 0 ? round.endedMs + 1 : QDateTime::currentMSecsSinceEpoch() + 1;
    const bool read =
        store.eachStatementOf(keys, round.startedMs, to, [&](const Store::StatementRow& row) {
            const std::optional<Answer> a = reader.parse(row.json, nullptr);
            if (a && a->registration == round.id && a->attempt == 1) {
                add(tallies[a->problemId()], *a);
            }
        });
    if (!read) {
        return unavailable(StoreDown);
    }
    QList<const Tally*> order;
    for (const Tally& t : std::as_const(tallies)) {
        order.append(&t);
    }
    std::sort(order.begin(), order.end(),
              [](const Tally* a, const Tally* b) { return a->firstMs < b->firstMs; });
    QJsonArray problems;
    for (const Tally* t : std::as_const(order)) {
        problems.append(problemJson(*t));
    }
    return json(200,
                {{QStringLiteral("series"), round.series}, {QStringLiteral("problems"), problems}});
}
