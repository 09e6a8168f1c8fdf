// みんなで解く: the teacher starts a round of one problem for a class, shows
// its answers, goes on to the next problem and ends it; the projector asks
// for the class's picture of it. No learner is named in any of it.

#include "server/http/ServerReplies.h"
#include "server/learner/LearnerRoutes.h"
#include "server/learner/RoundEvents.h"
#include "server/store/Store.h"
#include "server/teacher/TeacherRoutes.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace
{

using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::unavailable;

const QString& StoreDown = ClassAccess::StoreDown;

HttpReply noRound()
{
    return refusal(409, QStringLiteral("このクラスでは、みんなで解く問題が始まっていません"));
}

} // namespace

// {class, series, problem}: the class's learners signed in get the problem.
HttpReply TeacherRoutes::roundStart(Store& store, const Call& call)
{
    const QJsonObject body = QJsonDocument::fromJson(call.request.body).object();
    const QString series = body.value(QStringLiteral("series")).toString();
    const int number = body.value(QStringLiteral("problem")).toInt(0);
    if (series.isEmpty() || series.size() > 255 || number < 1) {
        return refusal(400, QStringLiteral("問題集と問題の番号を指定してください"));
    }
    HttpReply refused;
    const std::optional<qint64> id =
        ClassAccess::oneBy(store, call.teacher, call.request, &refused);
    if (!id) {
        return refused;
    }
    const std::optional<QList<Store::SeriesChoice>> rows = store.classSeries(*id);
    if (!rows) {
        return unavailable(StoreDown);
    }
    for (const Store::SeriesChoice& c : *rows) {
        if (c.hidden && c.file.compare(series, Qt::CaseInsensitive) == 0) {
            return refusal(409, QStringLiteral("この問題集はこのクラスに見せていません"));
        }
    }
    QString why;
    if (!rounds_.problem(series, number, &why)) {
        return refusal(404, why);
    }
    QString round;
    if (!store.startRound(*id, series, number, &round).isEmpty()) {
        return unavailable(StoreDown);
    }
    return roundOf(store, *id);
}

// …/reveal, …/next and …/end of the class's open round.
HttpReply TeacherRoutes::roundStep(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<qint64> id =
        ClassAccess::oneBy(store, call.teacher, call.request, &refused);
    if (!id) {
        return refused;
    }
    const std::optional<Store::Round> round = store.openRound(*id);
    if (!round) {
        return unavailable(StoreDown);
    }
    if (round->id.isEmpty()) {
        return noRound();
    }
    const QStringView step = call.path.mid(call.path.lastIndexOf(u'/') + 1);
    QString failed;
    if (step == u"reveal") {
        failed = store.stepRound(round->id, round->problem, true);
    } else if (step == u"next") {
        QString why;
        const std::optional<ClassRounds::Shown> shown =
            rounds_.problem(round->series, round->problem, &why);
        if (!shown) {
            return refusal(409, why);
        }
        if (round->problem >= shown->problems) {
            return refusal(409, QStringLiteral("この問題集の最後の問題です"));
        }
        failed = store.stepRound(round->id, round->problem + 1, false);
    } else {
        failed = store.endRound(round->id);
    }
    return failed.isEmpty() ? roundOf(store, *id) : unavailable(StoreDown);
}

HttpReply TeacherRoutes::roundView(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<qint64> id =
        ClassAccess::oneBy(store, call.teacher, call.request, &refused);
    if (!id) {
        return refused;
    }
    return call.path.endsWith(u"/events")
               ? setup_.learners->roundEvents().classStream(*id, call.sessionHash)
               : roundOf(store, *id);
}

// {"round": the view, or null while the class has none}.
HttpReply TeacherRoutes::roundOf(Store& store, qint64 classId)
{
    const std::optional<Store::Round> round = store.openRound(classId);
    if (!round) {
        return unavailable(StoreDown);
    }
    if (round->id.isEmpty()) {
        return json(200, {{QStringLiteral("round"), QJsonValue::Null}});
    }
    QString why;
    const std::optional<ClassRounds::Shown> shown =
        rounds_.problem(round->series, round->problem, &why);
    if (!shown) {
        return refusal(409, why);
    }
    const auto boards = store.roundBoards(round->id, round->problem);
    const auto learners = store.learners(classId);
    const auto signedIn = store.signedIn(QDateTime::currentMSecsSinceEpoch());
    if (!boards || !learners || !signedIn) {
        return unavailable(StoreDown);
    }
    QSet<QString> ofClass;
    for (const Store::Learner& l : *learners) {
        ofClass.insert(l.key);
    }
    int here = 0;
    for (const Store::SignedIn& s : *signedIn) {
        here += ofClass.contains(s.learner) ? 1 : 0;
    }
    return json(200, {{QStringLiteral("round"), ClassRounds::view(*shown, *round, *boards, here)}});
}
