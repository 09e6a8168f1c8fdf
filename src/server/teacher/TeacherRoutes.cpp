#include "server/teacher/TeacherRoutes.h"

#include "files/FileLookup.h"
#include "report/ReportFiles.h"
#include "server/admin/CodeCards.h"
#include "server/http/ServerReplies.h"
#include "server/learner/LearnerRoutes.h"
#include "server/learner/Requests.h"
#include "server/learner/SignInGuard.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"
#include "server/teacher/SeriesRoutes.h"

#include <QDateTime>
#include <QDir>
#include <QHostAddress>
#include <QJsonArray>
#include <QUrl>

namespace
{

using Access = HttpRoutes::Access;
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

const HttpRoutes::Table<TeacherRoutes::Handler>& TeacherRoutes::routes()
{
    constexpr Access Teacher = Access::TeacherSession;
    static const HttpRoutes::Table<Handler> table = {
        {"POST", u"/api/teacher/signin", Access::Anyone, &TeacherRoutes::signIn},
        {"POST", u"/api/teacher/signout", Teacher, &TeacherRoutes::signOut},
        {"GET", u"/api/teacher/state", Teacher, &TeacherRoutes::state},
        {"GET", u"/api/teacher/live", Teacher, &TeacherRoutes::live},
        {"GET", u"/teacher/cards", Teacher, &TeacherRoutes::cards},
        {"POST", u"/api/teacher/add", Teacher, &TeacherRoutes::addLearner},
        {"POST", u"/api/teacher/reset", Teacher, &TeacherRoutes::newCode},
        {"POST", u"/api/teacher/remove", Teacher, &TeacherRoutes::removeLearner},
        {"POST", u"/api/teacher/signout-learner", Teacher, &TeacherRoutes::signOutLearner},
        {"GET", u"/api/teacher/series", Teacher, &TeacherRoutes::seriesList},
        {"GET", u"/api/teacher/series/text", Teacher, &TeacherRoutes::seriesText},
        {"GET", u"/teacher/series/download", Teacher, &TeacherRoutes::seriesDownload},
        {"POST", u"/api/teacher/series*", Teacher, &TeacherRoutes::seriesChange},
        {"POST", u"/api/teacher/parse", Teacher, &TeacherRoutes::parse},
        {"POST", u"/api/teacher/compose", Teacher, &TeacherRoutes::compose},
        {"POST", u"/api/teacher/preview", Teacher, &TeacherRoutes::preview},
        {"GET", u"/teacher/preview", Teacher, &TeacherRoutes::previewPage},
        {"GET", u"/api/teacher/preview/*", Teacher, &TeacherRoutes::previewVerb},
        {"POST", u"/api/teacher/preview/*", Teacher, &TeacherRoutes::previewVerb},
        // The report's page and its spreadsheets.
        {"GET", u"/teacher/*", Teacher, &TeacherRoutes::reportFile},
    };
    return table;
}

TeacherRoutes::TeacherRoutes(Setup setup, StoreCalls::Desks desks)
    : setup_(std::move(setup)), desks_(desks),
      report_(setup_.workDir, setup_.databaseUrl, QStringLiteral("クラスの結果")),
      histories_(setup_.workDir), previews_(setup_.workDir, *setup_.measure),
      learners_(*setup_.learners), live_(setup_.workDir)
{
}

HttpReply TeacherRoutes::signIn(Store& store, const Call& call)
{
    QString failed;
    const std::optional<QPair<QByteArray, QByteArray>> stored = store.teacherPassword(&failed);
    if (!failed.isEmpty()) {
        return unavailable(StoreDown);
    }
    if (!stored) {
        return refusal(
            409, QStringLiteral("先生のパスワードがまだありません。"
                                "velmorant-server --set-teacher-password で設定してください"));
    }
    // Counted apart from the learners' codes: pupils guessing codes from
    // the school's address never keep the teacher out.
    SignInGuard& guard = *setup_.guard;
    const SignInGuard::Limit limit = guard.limitFor(call.request, true);
    const qint64 at = QDateTime::currentMSecsSinceEpoch();
    if (std::optional<HttpReply> refused = guard.reserve(limit, at, QStringLiteral("パスワード"))) {
        return *refused;
    }
    const QJsonValue given =
        QJsonDocument::fromJson(call.request.body).object().value(QStringLiteral("password"));
    if (!given.isString()) {
        return guard.wrongAnswer(call.respond, QStringLiteral("パスワードが違います"));
    }
    // About a second of hashing, on a thread of its own at a lower
    // priority than the learners' answers.
    const auto release = [&guard, limit, at] { guard.release(limit, at); };
    return StoreCalls::later(
        desks_.hashing, call.respond,
        [&guard, limit, at, release, respond = call.respond, password = given.toString(),
         salt = stored->first, hash = stored->second](Store& s) {
            if (!SignInCodes::sameBytes(SignInCodes::passwordHash(password, salt), hash)) {
                return guard.wrongAnswer(respond, QStringLiteral("パスワードが違います"));
            }
            release();
            const QByteArray id = SignInCodes::newSessionId();
            if (!s.addTeacherSession(SignInCodes::sessionHash(id), at + SessionMs).isEmpty()) {
                return unavailable(
                    QStringLiteral("記録に書き込めません。しばらくしてからもう一度試してください"));
            }
            HttpReply r = json(200, {});
            r.headers.append(guard.cookie(Requests::TeacherCookieName, id, SessionMs / 1000));
            r.headers.append(guard.deviceCookie(limit));
            return r;
        },
        release);
}

HttpReply TeacherRoutes::signOut(Store& store, const Call& call)
{
    store.removeTeacherSession(call.sessionHash);
    previews_.drop(call.sessionHash);
    learners_.forget(call.sessionHash);
    HttpReply r = json(200, {});
    r.headers.append(setup_.guard->cookie(Requests::TeacherCookieName, {}, SessionMs / 1000));
    return r;
}

HttpReply TeacherRoutes::state(Store& store, const Call& call)
{
    QJsonArray made;
    for (const auto& [name, code] : learners_.made(call.sessionHash)) {
        made.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("code"), code}});
    }
    return json(
        200,
        {{QStringLiteral("learners"), QJsonArray::fromStringList(store.learnerNames())},
         {QStringLiteral("made"), made},
         {QStringLiteral("series"), SeriesRoutes::listJson(setup_.workDir, store, histories_)}});
}

// The codes made in this session as cards to print, the same sheet as
// --add-learners writes; the address is the one the teacher's browser used,
// unless that is this machine's own name for itself.
HttpReply TeacherRoutes::cards(Store&, const Call& call)
{
    QList<CodeCards::Card> cards;
    for (const auto& [name, code] : learners_.made(call.sessionHash)) {
        cards.append({name, code});
    }
    const bool secure = setup_.guard->secure();
    const QUrl host(QStringLiteral("http://") + QString::fromLatin1(call.request.value("Host")));
    const bool local = host.host() == QLatin1String("localhost") ||
                       QHostAddress(host.host()).isLoopback() || host.host().isEmpty();
    const int port = host.port(secure ? 443 : 80);
    const QString address =
        local
            ? CodeCards::classAddress(host.host(), port, secure)
            : QStringLiteral("%1://%2/")
                  .arg(secure ? QStringLiteral("https") : QStringLiteral("http"), host.authority());
    HttpReply r{200,
                "text/html; charset=utf-8",
                CodeCards::sheet(cards, address, QStringLiteral("先生のページで作ったコード")),
                {}};
    r.headers.append(qMakePair(QByteArray("Content-Security-Policy"),
                               QByteArray("default-src 'none'; style-src 'unsafe-inline'; "
                                          "frame-ancestors 'none'")));
    return r;
}

HttpReply TeacherRoutes::live(Store& store, const Call&)
{
    const std::optional<QJsonObject> now = live_.poll(store, setup_.learners->signOutAfterMs());
    return now ? json(200, *now) : unavailable(StoreDown);
}

// A learner added, given a new code, removed or signed out everywhere (a
// shared device left signed in): each names the learner.
std::optional<QString> TeacherRoutes::learnerNamed(const Call& call, HttpReply* refused)
{
    const QString name = nameIn(call.request.body);
    if (name.isEmpty() || name.size() > MaxNameLength) {
        *refused = refusal(
            400, QStringLiteral("名前は1文字以上%1文字以内で入力してください").arg(MaxNameLength));
        return std::nullopt;
    }
    return name;
}

HttpReply TeacherRoutes::addLearner(Store& store, const Call& call)
{
    return madeCode(
        call, [&](const QString& name) { return learners_.add(store, name, call.sessionHash); });
}

HttpReply TeacherRoutes::newCode(Store& store, const Call& call)
{
    return madeCode(call, [&](const QString& name) {
        return learners_.newCode(store, name, call.sessionHash);
    });
}

HttpReply TeacherRoutes::madeCode(const Call& call,
                                  const std::function<ClassLearners::Made(const QString&)>& make)
{
    HttpReply refused;
    const std::optional<QString> name = learnerNamed(call, &refused);
    if (!name) {
        return refused;
    }
    const ClassLearners::Made made = make(*name);
    if (!made.failed.isEmpty()) {
        return refusal(409, made.failed);
    }
    return json(200, {{QStringLiteral("name"), *name}, {QStringLiteral("code"), made.code}});
}

HttpReply TeacherRoutes::removeLearner(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<QString> name = learnerNamed(call, &refused);
    if (!name) {
        return refused;
    }
    const QString failed = learners_.remove(store, *name);
    return failed.isEmpty() ? json(200, {}) : refusal(409, failed);
}

HttpReply TeacherRoutes::signOutLearner(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<QString> name = learnerNamed(call, &refused);
    if (!name) {
        return refused;
    }
    const std::optional<int> ended = learners_.signOut(store, *name);
    return ended ? json(200, {{QStringLiteral("ended"), *ended}}) : unavailable(StoreDown);
}

// Answered from the report's thread: no learner waits for it.
HttpReply TeacherRoutes::reportFile(Store&, const Call& call)
{
    const bool report = call.path == u"/teacher/report";
    const bool page = call.path == u"/teacher/index.html";
    const QString name = call.path.mid(9).toString();
    if (!report && !page && !ReportFiles::spreadsheetNames().contains(name)) {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    report_.files([report, page, name, respond = call.respond](
                      std::shared_ptr<const ReportCache::Files> files, const QString& failure) {
        respond(files ? reportReply(*files, report || page, !report, name) : unavailable(failure));
    });
    return ServerReplies::pending();
}

HttpReply TeacherRoutes::seriesList(Store& store, const Call&)
{
    return SeriesRoutes::listReply(setup_.workDir, store, histories_);
}

HttpReply TeacherRoutes::seriesText(Store&, const Call& call)
{
    return SeriesRoutes::textReply(setup_.workDir, call.request);
}

HttpReply TeacherRoutes::seriesDownload(Store&, const Call& call)
{
    return SeriesRoutes::downloadReply(setup_.workDir, call.request);
}

HttpReply TeacherRoutes::seriesChange(Store& store, const Call& call)
{
    return SeriesRoutes::changeReply(setup_.workDir, call.path.toString(), call.request.body, store,
                                     histories_);
}

HttpReply TeacherRoutes::previewPage(Store&, const Call&)
{
    return TeacherPreviews::page();
}

HttpReply TeacherRoutes::previewVerb(Store&, const Call& call)
{
    return previews_.verb(call.path.mid(QStringView(u"/api/teacher/preview/").size()), call.request,
                          call.sessionHash);
}

HttpReply TeacherRoutes::parse(Store&, const Call& call)
{
    return TeacherPreviews::parse(call.request.body);
}

HttpReply TeacherRoutes::compose(Store&, const Call& call)
{
    return previews_.compose(call.request.body, call.sessionHash);
}

HttpReply TeacherRoutes::preview(Store&, const Call& call)
{
    return previews_.preview(call.request.body, call.sessionHash);
}
