// The teacher's page: sign-in with the teacher's password, the class report
// from the store, the learners and their codes, the series and what the
// check finds in them. Reached only with the teacher's own session cookie.

#include "server/ClassroomServer.h"

#include "files/FileLookup.h"
#include "report/ReportFiles.h"
#include "server/CodeCards.h"
#include "server/SeriesRoutes.h"
#include "server/ServerReplies.h"
#include "server/SignInCodes.h"
#include "server/Store.h"

#include <QDateTime>
#include <QDir>
#include <QHostAddress>
#include <QJsonArray>
#include <QUrl>

namespace
{

using Reply = ClassroomServer::Reply;
using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::unavailable;

// The store's failure, told without its place.
const QString StoreDown =
    QStringLiteral("記録を読めません。しばらくしてからもう一度試してください");

constexpr int MaxNameLength = 64;

// The page (`html`) or a spreadsheet of the report; `attachment`: to be
// saved as `name` rather than shown.
HttpReply reportReply(const ReportCache::Files& files, bool html, bool attachment,
                      const QString& name)
{
    HttpReply r;
    if (html) {
        r.type = "text/html; charset=utf-8";
        r.body = files.page;
        // The report's own style and pictures, shown in the teacher's page.
        r.headers.append(qMakePair(QByteArray("Content-Security-Policy"),
                                   QByteArray("default-src 'none'; style-src 'unsafe-inline'; "
                                              "img-src data:; frame-ancestors 'self'")));
    } else {
        r.type = "text/csv; charset=utf-8";
        r.body = files.spreadsheets.value(name);
    }
    if (attachment) {
        r.headers.append(qMakePair(QByteArray("Content-Disposition"),
                                   "attachment; filename=\"" + name.toLatin1() + '"'));
    }
    return r;
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

ClassroomServer::Reply ClassroomServer::teacher(Store& store, const QString& path,
                                                const HttpRequest& request,
                                                const HttpResponder& respond)
{
    const bool post = request.method == "POST";
    const bool get = request.method == "GET";
    if (!post && !get) {
        return refusal(405, QStringLiteral("この方法では使えません"));
    }
    if (post && !Requests::sameOrigin(request.value("Host"), request.value("Origin"),
                                      request.value("Referer"))) {
        return refusal(403, QStringLiteral("このページからの要求ではありません"));
    }
    if (post && path == QLatin1String("/api/teacher/signin")) {
        return teacherSignIn(store, request, respond);
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
    const bool signedIn =
        !id.isEmpty() && store.teacherSession(hash, QDateTime::currentMSecsSinceEpoch(), &failed);
    if (!failed.isEmpty()) {
        return ServerReplies::unavailable(
            QStringLiteral("記録を読めません。しばらくしてからもう一度試してください"));
    }
    if (!signedIn) {
        return refusal(401, QStringLiteral("先生のパスワードでサインインしてください"));
    }
    return signedInTeacher(store, path, request, respond, hash);
}

ClassroomServer::Reply ClassroomServer::signedInTeacher(Store& store, const QString& path,
                                                        const HttpRequest& request,
                                                        const HttpResponder& respond,
                                                        const QByteArray& hash)
{
    const bool get = request.method == "GET";
    if (std::optional<Reply> r = SeriesRoutes::answer(workDir_, path, request, store, histories_)) {
        return *r;
    }
    if (std::optional<Reply> editor = previews_.answer(path, request, hash)) {
        return *editor;
    }
    if (get && path == QLatin1String("/api/teacher/state")) {
        return teacherState(store, hash);
    }
    if (get && path == QLatin1String("/teacher/cards")) {
        return teacherCards(request, hash);
    }
    if (get && path == QLatin1String("/api/teacher/live")) {
        return teacherLive(store);
    }
    if (get) {
        return teacherFile(path, respond);
    }
    if (path == QLatin1String("/api/teacher/signout")) {
        store.removeTeacherSession(hash);
        previews_.drop(hash);
        const std::lock_guard<std::mutex> lock(shared_);
        madeCodes_.remove(hash);
        Reply r = json(200, {});
        r.headers.append(sessionCookie(Requests::TeacherCookieName, {}));
        return r;
    }
    return teacherAct(store, path, request.body, hash);
}

ClassroomServer::Reply ClassroomServer::teacherSignIn(Store& store, const HttpRequest& request,
                                                      const HttpResponder& respond)
{
    QString failed;
    const std::optional<QPair<QByteArray, QByteArray>> stored = store.teacherPassword(&failed);
    if (!failed.isEmpty()) {
        return ServerReplies::unavailable(
            QStringLiteral("記録を読めません。しばらくしてからもう一度試してください"));
    }
    if (!stored) {
        return refusal(
            409, QStringLiteral("先生のパスワードがまだありません。"
                                "velmorant-server --set-teacher-password で設定してください"));
    }
    // Counted apart from the learners' codes: pupils guessing codes from
    // the school's address never keep the teacher out.
    const SignInLimit limit = signInLimit(request, true);
    const qint64 at = QDateTime::currentMSecsSinceEpoch();
    if (std::optional<Reply> refused = overLimit(limit, at, QStringLiteral("パスワード"))) {
        return *refused;
    }
    const QJsonValue given =
        QJsonDocument::fromJson(request.body).object().value(QStringLiteral("password"));
    if (!given.isString()) {
        return wrongAnswer(respond, QStringLiteral("パスワードが違います"));
    }
    // About a second of hashing, on a thread of its own at a lower
    // priority than the learners' answers.
    const auto release = [this, limit, at] { limits_.release(limit.key, at); };
    return later(
        hashing_, respond,
        [this, limit, at, release, respond, password = given.toString(), salt = stored->first,
         hash = stored->second](Store& s) {
            if (!SignInCodes::sameBytes(SignInCodes::passwordHash(password, salt), hash)) {
                return wrongAnswer(respond, QStringLiteral("パスワードが違います"));
            }
            release();
            const QByteArray id = SignInCodes::newSessionId();
            if (!s.addTeacherSession(SignInCodes::sessionHash(id), at + SessionMs).isEmpty()) {
                return ServerReplies::unavailable(
                    QStringLiteral("記録に書き込めません。しばらくしてからもう一度試してください"));
            }
            Reply r = json(200, {});
            r.headers.append(sessionCookie(Requests::TeacherCookieName, id));
            r.headers.append(deviceCookie(limit));
            return r;
        },
        release);
}

ClassroomServer::Reply ClassroomServer::teacherState(Store& store, const QByteArray& sessionHash)
{
    QJsonArray made;
    QList<QPair<QString, QString>> codes;
    {
        const std::lock_guard<std::mutex> lock(shared_);
        codes = madeCodes_.value(sessionHash);
    }
    for (const auto& [name, code] : codes) {
        made.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("code"), code}});
    }
    return json(200,
                {{QStringLiteral("learners"), QJsonArray::fromStringList(store.learnerNames())},
                 {QStringLiteral("made"), made},
                 {QStringLiteral("series"), SeriesRoutes::listJson(workDir_, store, histories_)}});
}

// The codes made in this session as cards to print, the same sheet as
// --add-learners writes; the address is the one the teacher's browser used,
// unless that is this machine's own name for itself.
ClassroomServer::Reply ClassroomServer::teacherCards(const HttpRequest& request,
                                                     const QByteArray& sessionHash)
{
    QList<CodeCards::Card> cards;
    {
        const std::lock_guard<std::mutex> lock(shared_);
        for (const auto& [name, code] : madeCodes_.value(sessionHash)) {
            cards.append({name, code});
        }
    }
    const QUrl host(QStringLiteral("http://") + QString::fromLatin1(request.value("Host")));
    const bool local = host.host() == QLatin1String("localhost") ||
                       QHostAddress(host.host()).isLoopback() || host.host().isEmpty();
    const int port = host.port(secure_ ? 443 : 80);
    const QString address =
        local ? CodeCards::classAddress(host.host(), port, secure_)
              : QStringLiteral("%1://%2/")
                    .arg(secure_ ? QStringLiteral("https") : QStringLiteral("http"),
                         host.authority());
    Reply r{200,
            "text/html; charset=utf-8",
            CodeCards::sheet(cards, address, QStringLiteral("先生のページで作ったコード")),
            {}};
    r.headers.append(qMakePair(QByteArray("Content-Security-Policy"),
                               QByteArray("default-src 'none'; style-src 'unsafe-inline'; "
                                          "frame-ancestors 'none'")));
    return r;
}

ClassroomServer::Reply ClassroomServer::teacherFile(const QString& path,
                                                    const HttpResponder& respond)
{
    const bool report = path == QLatin1String("/teacher/report");
    const bool page = path == QLatin1String("/teacher/index.html");
    const QString name = path.mid(9);
    if (!report && !page && !ReportFiles::spreadsheetNames().contains(name)) {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    // Answered from the report's thread: no learner waits for it.
    report_.files([report, page, name, respond](std::shared_ptr<const ReportCache::Files> files,
                                                const QString& failure) {
        respond(files ? reportReply(*files, report || page, !report, name) : unavailable(failure));
    });
    return Reply{0, {}, {}, {}};
}

ClassroomServer::Reply ClassroomServer::teacherAct(Store& store, const QString& path,
                                                   const QByteArray& body,
                                                   const QByteArray& sessionHash)
{
    const bool add = path == QLatin1String("/api/teacher/add");
    const bool reset = path == QLatin1String("/api/teacher/reset");
    const bool signOut = path == QLatin1String("/api/teacher/signout-learner");
    if (!add && !reset && !signOut && path != QLatin1String("/api/teacher/remove")) {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    const QString name = nameIn(body);
    if (name.isEmpty() || name.size() > MaxNameLength) {
        return refusal(
            400, QStringLiteral("名前は1文字以上%1文字以内で入力してください").arg(MaxNameLength));
    }
    if (signOut) {
        return signOutLearner(store, name);
    }
    if (!add && !reset) {
        const QString failed = store.removeLearner(name);
        forgetLearner(name);
        return failed.isEmpty() ? json(200, {}) : refusal(409, failed);
    }
    const QString code = SignInCodes::newCode();
    const QString failed = add ? store.addLearner(name, code) : store.setLearnerCode(name, code);
    if (!failed.isEmpty()) {
        return refusal(409, failed);
    }
    const std::lock_guard<std::mutex> lock(shared_);
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
    learners_.forget(learner);
    const std::lock_guard<std::mutex> lock(shared_);
    knownSessions_.removeIf(
        [&learner](const auto& entry) { return entry.value().learner == learner; });
}
