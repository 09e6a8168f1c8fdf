#include "server/teacher/ClassAccess.h"

#include "server/http/ServerReplies.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUrlQuery>

namespace
{

const QString& StoreDown = ClassAccess::StoreDown;

} // namespace

std::optional<ClassAccess> ClassAccess::of(Store& store, const QString& teacher)
{
    QString failed;
    const std::optional<Store::Teacher> who = store.teacher(teacher, &failed);
    const std::optional<QList<Store::SchoolClass>> all = store.classes(&failed);
    if (!failed.isEmpty() || !all) {
        return std::nullopt;
    }
    ClassAccess access;
    // A teacher removed while signed in sees nothing.
    access.admin_ = who && who->admin;
    for (const Store::SchoolClass& c : *all) {
        if (access.admin_ || (who && who->classIds.contains(c.id))) {
            access.classes_.append(c);
        }
    }
    return access;
}

bool ClassAccess::sees(qint64 classId) const
{
    return std::any_of(classes_.begin(), classes_.end(),
                       [classId](const Store::SchoolClass& c) { return c.id == classId; });
}

HttpReply ClassAccess::notYours()
{
    return ServerReplies::refusal(403, QStringLiteral("このクラスは見られません"));
}

qint64 ClassAccess::classParameter(const HttpRequest& request)
{
    QString given;
    if (request.method == "POST") {
        const QJsonValue v =
            QJsonDocument::fromJson(request.body).object().value(QStringLiteral("class"));
        if (v.isDouble()) {
            return v.toDouble() >= 1 && v.toDouble() == double(qint64(v.toDouble()))
                       ? qint64(v.toDouble())
                       : -1;
        }
        if (!v.isUndefined() && !v.isNull()) {
            given = v.isString() ? v.toString() : QStringLiteral("-");
        }
    } else {
        const qsizetype q = request.target.indexOf('?');
        given = QUrlQuery(QString::fromLatin1(q < 0 ? QByteArray() : request.target.mid(q + 1)))
                    .queryItemValue(QStringLiteral("class"), QUrl::FullyDecoded);
    }
    if (given.isEmpty()) {
        return 0;
    }
    bool ok = false;
    const qint64 id = given.toLongLong(&ok);
    return ok && id > 0 ? id : -1;
}

std::optional<QList<qint64>> ClassAccess::chosen(const HttpRequest& request,
                                                 HttpReply* refused) const
{
    const qint64 id = classParameter(request);
    if (id < 0) {
        *refused = ServerReplies::refusal(400, QStringLiteral("クラスの指定が正しくありません"));
        return std::nullopt;
    }
    if (id > 0 && !sees(id)) {
        *refused = notYours();
        return std::nullopt;
    }
    QList<qint64> ids;
    for (const Store::SchoolClass& c : classes_) {
        if (id == 0 || c.id == id) {
            ids.append(c.id);
        }
    }
    return ids;
}

std::optional<qint64> ClassAccess::one(const HttpRequest& request, HttpReply* refused) const
{
    const std::optional<QList<qint64>> ids = chosen(request, refused);
    if (ids && ids->size() != 1) {
        *refused = ServerReplies::refusal(400, QStringLiteral("クラスを選んでください"));
        return std::nullopt;
    }
    return ids ? std::optional<qint64>(ids->first()) : std::nullopt;
}

std::optional<Store::Learner> ClassAccess::learner(Store& store, const HttpRequest& request,
                                                   HttpReply* refused) const
{
    const std::optional<qint64> id = one(request, refused);
    if (!id) {
        return std::nullopt;
    }
    const QString name = QJsonDocument::fromJson(request.body)
                             .object()
                             .value(QStringLiteral("name"))
                             .toString()
                             .trimmed();
    QString failed;
    const std::optional<QList<Store::Learner>> learners = store.learners(*id, &failed);
    if (!learners) {
        *refused = ServerReplies::unavailable(failed);
        return std::nullopt;
    }
    for (const Store::Learner& l : *learners) {
        if (l.name == name) {
            return l;
        }
    }
    *refused =
        ServerReplies::refusal(409, QStringLiteral("学習者「%1」は登録されていません").arg(name));
    return std::nullopt;
}

std::optional<QList<qint64>> ClassAccess::chosenBy(Store& store, const QString& teacher,
                                                   const HttpRequest& request, HttpReply* refused)
{
    const std::optional<ClassAccess> access = of(store, teacher);
    *refused = ServerReplies::unavailable(StoreDown);
    return access ? access->chosen(request, refused) : std::nullopt;
}

std::optional<qint64> ClassAccess::oneBy(Store& store, const QString& teacher,
                                         const HttpRequest& request, HttpReply* refused)
{
    const std::optional<ClassAccess> access = of(store, teacher);
    *refused = ServerReplies::unavailable(StoreDown);
    return access ? access->one(request, refused) : std::nullopt;
}
