// The series each class sees and their 期限, as the teacher chooses them;
// the classes and teachers the administrator adds from the page.

#include "server/admin/ClassList.h"
#include "server/admin/ServerConsole.h"
#include "server/http/ServerReplies.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"
#include "server/teacher/TeacherRoutes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace
{

using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::unavailable;

const QString& StoreDown = ClassAccess::StoreDown;

} // namespace

// The rows of one class: the series hidden from it, and each row with its
// 期限 (YYYY-MM-DD, or none).
HttpReply TeacherRoutes::classSeries(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<qint64> id =
        ClassAccess::oneBy(store, call.teacher, call.request, &refused);
    const auto rows = id ? store.classSeries(*id) : std::nullopt;
    if (!rows) {
        return id ? unavailable(StoreDown) : refused;
    }
    QJsonArray hidden;
    QJsonArray series;
    for (const Store::SeriesChoice& c : *rows) {
        if (c.hidden) {
            hidden.append(c.file);
        }
        series.append(QJsonObject{
            {QStringLiteral("file"), c.file},
            {QStringLiteral("hidden"), c.hidden},
            {QStringLiteral("due"),
             c.due.isValid() ? QJsonValue(c.due.toString(Qt::ISODate)) : QJsonValue()}});
    }
    return json(200, {{QStringLiteral("class"), *id},
                      {QStringLiteral("hidden"), hidden},
                      {QStringLiteral("series"), series}});
}

// {class, file, hidden, due}: `due` a date (YYYY-MM-DD), "" or null to take
// the 期限 away, left out to keep the one given before.
HttpReply TeacherRoutes::chooseSeries(Store& store, const Call& call)
{
    const QJsonObject body = QJsonDocument::fromJson(call.request.body).object();
    const QString file = body.value(QStringLiteral("file")).toString();
    if (file.isEmpty() || file.size() > 255 || !body.value(QStringLiteral("hidden")).isBool()) {
        return refusal(400, QStringLiteral("問題集のファイル名と、隠すかどうかを指定してください"));
    }
    const QJsonValue given = body.value(QStringLiteral("due"));
    const QDate due = QDate::fromString(given.toString(), QStringLiteral("yyyy-MM-dd"));
    if (!given.isUndefined() && !given.isNull() &&
        !(given.isString() && (given.toString().isEmpty() || due.isValid()))) {
        return refusal(400, QStringLiteral("期限「%1」は 2026-12-08 の形で指定してください")
                                .arg(given.toVariant().toString().left(20)));
    }
    HttpReply refused;
    const std::optional<qint64> id =
        ClassAccess::oneBy(store, call.teacher, call.request, &refused);
    if (!id) {
        return refused;
    }
    Store::SeriesChoice choice{file, body.value(QStringLiteral("hidden")).toBool(), due};
    if (given.isUndefined()) {
        const auto rows = store.classSeries(*id);
        if (!rows) {
            return unavailable(StoreDown);
        }
        for (const Store::SeriesChoice& c : *rows) {
            choice.due = c.file == file ? c.due : choice.due;
        }
    }
    const QString failed = store.setSeriesChoice(*id, choice);
    return failed.isEmpty() ? json(200, {}) : unavailable(failed);
}

// ---- The administrator's: classes and teachers added from the page ----

namespace
{

// None for the administrator; else why not (403, or 503 when the store
// failed).
std::optional<HttpReply> notAdmin(Store& store, const QString& teacher)
{
    const std::optional<ClassAccess> access = ClassAccess::of(store, teacher);
    if (!access) {
        return unavailable(StoreDown);
    }
    if (!access->admin()) {
        return refusal(403, QStringLiteral("クラスと先生を追加できるのは管理者だけです"));
    }
    return std::nullopt;
}

QString badName(const QString& name, const QString& what)
{
    if (name.isEmpty() || name.size() > ClassList::MaxNameLength) {
        return QStringLiteral("%1は1文字以上%2文字以内で入力してください")
            .arg(what, QString::number(ClassList::MaxNameLength));
    }
    // A learner's key is "class/name": a class name holds no '/'.
    return name.contains(QLatin1Char('/')) ? QStringLiteral("%1に「/」は使えません").arg(what)
                                           : QString();
}

} // namespace

// {name}: a class of no learners yet.
HttpReply TeacherRoutes::addClass(Store& store, const Call& call)
{
    if (std::optional<HttpReply> refused = notAdmin(store, call.teacher)) {
        return *refused;
    }
    const QString name =
        QJsonDocument::fromJson(call.request.body).object().value(u"name").toString().trimmed();
    if (const QString bad = badName(name, QStringLiteral("クラス名")); !bad.isEmpty()) {
        return refusal(400, bad);
    }
    const QString failed = store.addClass(name);
    return failed.isEmpty() ? json(200, {{QStringLiteral("name"), name}}) : refusal(409, failed);
}

// {name, password, classes: [id…]}: a teacher who sees those classes, the
// password hashed as the command line hashes it, on the hashing thread.
HttpReply TeacherRoutes::addTeacher(Store& store, const Call& call)
{
    if (std::optional<HttpReply> refused = notAdmin(store, call.teacher)) {
        return *refused;
    }
    const QJsonObject body = QJsonDocument::fromJson(call.request.body).object();
    const QString name = body.value(u"name").toString().trimmed();
    const QString password = body.value(u"password").toString();
    if (const QString bad = badName(name, QStringLiteral("名前")); !bad.isEmpty()) {
        return refusal(400, bad);
    }
    if (password.size() < ServerConsole::MinPasswordLength || password.size() > 256) {
        return refusal(400, QStringLiteral("パスワードは%1文字以上256文字以内にしてください")
                                .arg(ServerConsole::MinPasswordLength));
    }
    const std::optional<QList<Store::SchoolClass>> classes = store.classes();
    if (!classes) {
        return unavailable(StoreDown);
    }
    QList<qint64> ids;
    for (const QJsonValue v : body.value(u"classes").toArray()) {
        const qint64 id = v.toInteger(-1);
        if (std::none_of(classes->begin(), classes->end(),
                         [id](const Store::SchoolClass& c) { return c.id == id; })) {
            return refusal(400, QStringLiteral("ないクラスが選ばれています"));
        }
        ids.append(id);
    }
    if (const QString refused = store.newTeacherRefused(name); !refused.isEmpty()) {
        return refusal(409, refused);
    }
    return StoreCalls::later(desks_.hashing, call.respond, [name, password, ids](Store& s) {
        const QByteArray salt = SignInCodes::newSalt();
        QString failed =
            s.setTeacherPassword(name, salt, SignInCodes::passwordHash(password, salt), false);
        failed = failed.isEmpty() ? s.setTeacherClasses(name, ids) : failed;
        return failed.isEmpty() ? json(200, {{QStringLiteral("name"), name}}) : unavailable(failed);
    });
}
