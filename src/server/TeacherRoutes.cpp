// The teacher's page: sign-in with the teacher's password, the class report
// from the store, the learners and their codes, the series and what the
// check finds in them. Reached only with the teacher's own session cookie.

#include "server/ClassroomServer.h"

#include "files/FileLookup.h"
#include "report/ReportFiles.h"
#include "series/Catalog.h"
#include "series/SeriesLoader.h"
#include "server/ServerReplies.h"
#include "server/SignInCodes.h"
#include "server/Store.h"
#include "server/StoreReport.h"

#include <QDateTime>
#include <QDir>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QJsonArray>

namespace
{

using Reply = ClassroomServer::Reply;
using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::storeDown;

constexpr int MaxNameLength = 64;

QJsonArray findingsJson(const Findings& findings)
{
    QJsonArray out;
    for (const Finding& f : findings) {
        out.append(QJsonObject{{QStringLiteral("line"), f.line},
                               {QStringLiteral("error"), f.kind == Finding::Kind::Error},
                               {QStringLiteral("message"), f.message}});
    }
    return out;
}

// The catalogue and each series file it lists, with what the check finds.
QJsonArray seriesJson(const QString& workDir)
{
    const Catalog::Result catalog =
        Catalog::read(FileLookup::resolve(workDir, QLatin1String(Catalog::FileName)));
    QJsonArray out;
    out.append(QJsonObject{{QStringLiteral("file"), QLatin1String(Catalog::FileName)},
                           {QStringLiteral("title"), QStringLiteral("問題集の一覧")},
                           {QStringLiteral("findings"), findingsJson(catalog.findings)}});
    for (const Catalog::Entry& e : catalog.entries) {
        if (e.fileName.isEmpty()) {
            continue;
        }
        const SeriesLoader::Series series =
            SeriesLoader::load(FileLookup::resolve(workDir, e.fileName));
        Findings found = series.findings();
        if (!series.error.isEmpty()) {
            found.prepend({0, Finding::Kind::Error, series.error});
        }
        out.append(QJsonObject{{QStringLiteral("file"), e.fileName},
                               {QStringLiteral("title"), e.title},
                               {QStringLiteral("problems"), series.loadedCount()},
                               {QStringLiteral("findings"), findingsJson(found)}});
    }
    return out;
}

QString nameIn(const QByteArray& body)
{
    return QJsonDocument::fromJson(body)
        .object()
        .value(QStringLiteral("name"))
        .toString()
        .trimmed();
}

} // namespace

ClassroomServer::Reply
ClassroomServer::teacher(const QString& path, const QHttpServerRequest& request, QTcpSocket* socket)
{
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    if (!post && !get) {
        return refusal(405, QStringLiteral("この方法では使えません"));
    }
    if (post && !Requests::sameOrigin(request.value("Host"), request.value("Origin"),
                                      request.value("Referer"))) {
        return refusal(403, QStringLiteral("このページからの要求ではありません"));
    }
    if (post && path == QLatin1String("/api/teacher/signin")) {
        return teacherSignIn(request, socket);
    }
    if (get) {
        if (Reply page = staticFile(path); page.status == 200) {
            return page;
        }
    }
    const QByteArray id =
        Requests::sessionCookie(request.value("Cookie"), Requests::TeacherCookieName);
    const QByteArray hash = SignInCodes::sessionHash(id);
    QString failed;
    if (id.isEmpty() ||
        !store_.teacherSession(hash, QDateTime::currentMSecsSinceEpoch(), &failed)) {
        return failed.isEmpty()
                   ? refusal(401, QStringLiteral("先生のパスワードでサインインしてください"))
                   : storeDown();
    }
    if (get && path == QLatin1String("/api/teacher/state")) {
        return teacherState(hash);
    }
    if (get) {
        return teacherFile(path);
    }
    if (path == QLatin1String("/api/teacher/signout")) {
        store_.removeTeacherSession(hash);
        madeCodes_.remove(hash);
        Reply r = json(200, {});
        r.headers.append(sessionCookie(Requests::TeacherCookieName, {}));
        return r;
    }
    return teacherAct(path, request.body(), hash);
}

ClassroomServer::Reply ClassroomServer::teacherSignIn(const QHttpServerRequest& request,
                                                      QTcpSocket* socket)
{
    const QString address = request.remoteAddress().toString();
    const qint64 at = QDateTime::currentMSecsSinceEpoch();
    if (lockedOut(address, at)) {
        return refusal(429,
                       QStringLiteral("パスワードの間違いが続いたため、1分間サインインできません"));
    }
    QString failed;
    const std::optional<QPair<QByteArray, QByteArray>> stored = store_.teacherPassword(&failed);
    if (!failed.isEmpty()) {
        return storeDown();
    }
    if (!stored) {
        return refusal(
            409, QStringLiteral("先生のパスワードがまだありません。"
                                "velmorant-server --set-teacher-password で設定してください"));
    }
    const QJsonValue given =
        QJsonDocument::fromJson(request.body()).object().value(QStringLiteral("password"));
    // About half a second on the event loop, at most ten times a minute
    // from one address before the lock-out.
    if (!given.isString() ||
        !SignInCodes::sameBytes(SignInCodes::passwordHash(given.toString(), stored->first),
                                stored->second)) {
        return wrongAnswer(address, at, socket, QStringLiteral("パスワードが違います"));
    }
    const QByteArray id = SignInCodes::newSessionId();
    if (!store_.addTeacherSession(SignInCodes::sessionHash(id), at + SessionMs).isEmpty()) {
        return storeDown();
    }
    Reply r = json(200, {});
    r.headers.append(sessionCookie(Requests::TeacherCookieName, id));
    return r;
}

ClassroomServer::Reply ClassroomServer::teacherState(const QByteArray& sessionHash)
{
    QJsonArray made;
    for (const auto& [name, code] : madeCodes_.value(sessionHash)) {
        made.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("code"), code}});
    }
    return json(200,
                {{QStringLiteral("learners"), QJsonArray::fromStringList(store_.learnerNames())},
                 {QStringLiteral("made"), made},
                 {QStringLiteral("series"), seriesJson(workDir_)}});
}

ClassroomServer::Reply ClassroomServer::teacherFile(const QString& path)
{
    const bool report = path == QLatin1String("/teacher/report");
    const bool page = path == QLatin1String("/teacher/index.html");
    const QString name = path.mid(9);
    if (!report && !page && !ReportFiles::spreadsheetNames().contains(name)) {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    const ClassReport::Report classReport = StoreReport::of(store_, workDir_);
    Reply r;
    if (report || page) {
        r.type = "text/html; charset=utf-8";
        r.body = ReportFiles::indexHtml(classReport, QStringLiteral("クラスの結果"));
        // The report's own style and pictures, shown in the teacher's page.
        r.headers.append(qMakePair(QByteArray("Content-Security-Policy"),
                                   QByteArray("default-src 'none'; style-src 'unsafe-inline'; "
                                              "img-src data:; frame-ancestors 'self'")));
    } else {
        r.type = "text/csv; charset=utf-8";
        r.body = ReportFiles::spreadsheet(name, classReport);
    }
    if (!report) {
        r.headers.append(qMakePair(QByteArray("Content-Disposition"),
                                   "attachment; filename=\"" + name.toLatin1() + '"'));
    }
    return r;
}

ClassroomServer::Reply ClassroomServer::teacherAct(const QString& path, const QByteArray& body,
                                                   const QByteArray& sessionHash)
{
    const bool add = path == QLatin1String("/api/teacher/add");
    const bool reset = path == QLatin1String("/api/teacher/reset");
    if (!add && !reset && path != QLatin1String("/api/teacher/remove")) {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    const QString name = nameIn(body);
    if (name.isEmpty() || name.size() > MaxNameLength) {
        return refusal(
            400, QStringLiteral("名前は1文字以上%1文字以内で入力してください").arg(MaxNameLength));
    }
    if (!add && !reset) {
        const QString failed = store_.removeLearner(name);
        forgetLearner(name);
        return failed.isEmpty() ? json(200, {}) : refusal(409, failed);
    }
    const QString code = SignInCodes::newCode();
    const QString failed = add ? store_.addLearner(name, code) : store_.setLearnerCode(name, code);
    if (!failed.isEmpty()) {
        return refusal(409, failed);
    }
    if (reset) {
        knownSessions_.removeIf(
            [&name](const auto& entry) { return entry.value().learner == name; });
    }
    madeCodes_[sessionHash].append(qMakePair(name, code));
    return json(200, {{QStringLiteral("name"), name}, {QStringLiteral("code"), code}});
}

// A removed learner's open series and known sessions go with them.
void ClassroomServer::forgetLearner(const QString& learner)
{
    screens_.remove(learner);
    knownSessions_.removeIf(
        [&learner](const auto& entry) { return entry.value().learner == learner; });
}
