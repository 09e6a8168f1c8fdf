#include "server/teacher/TeacherRoutes.h"

#include "files/FileLookup.h"
#include "record/ClassParameters.h"
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
#include <QUrlQuery>

namespace
{

using Access = HttpRoutes::Access;
using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::unavailable;

// The store's failure, told without its place.
const QString& StoreDown = ClassAccess::StoreDown;

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
        // 成績一覧.csv is named in UTF-8 as RFC 6266 says, an ASCII name
        // beside it for the oldest browsers.
        const QString saved = ReportFiles::fileName(name);
        r.headers.append(qMakePair(QByteArray("Content-Disposition"),
                                   "attachment; filename=\"" + name.toLatin1() +
                                       "\"; filename*=UTF-8''" + QUrl::toPercentEncoding(saved)));
    }
    return r;
}

// The days a report request asks for: `from` and `to` (YYYY-MM-DD), each
// optional; none when one is malformed or they are the wrong way round.
std::optional<std::pair<QDate, QDate>> daysAsked(const HttpRequest& request, HttpReply* refused)
{
    const qsizetype q = request.target.indexOf('?');
    const QUrlQuery query(QString::fromLatin1(q < 0 ? QByteArray() : request.target.mid(q + 1)));
    QDate days[2];
    const QString names[2] = {QStringLiteral("from"), QStringLiteral("to")};
    for (int i = 0; i < 2; ++i) {
        const QString given = query.queryItemValue(names[i], QUrl::FullyDecoded);
        days[i] = QDate::fromString(given, QStringLiteral("yyyy-MM-dd"));
        if (!given.isEmpty() && !days[i].isValid()) {
            *refused = refusal(400, QStringLiteral("日付「%1」は 2026-12-08 の形で指定してください")
                                        .arg(given.left(20)));
            return std::nullopt;
        }
    }
    if (days[0].isValid() && days[1].isValid() && days[0] > days[1]) {
        *refused = refusal(400, QStringLiteral("期間の始まりが終わりより後です"));
        return std::nullopt;
    }
    return std::make_pair(days[0], days[1]);
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
        {"GET", u"/api/teacher/classes", Teacher, &TeacherRoutes::classes},
        {"GET", u"/api/teacher/class-series", Teacher, &TeacherRoutes::classSeries},
        {"POST", u"/api/teacher/class-series", Teacher, &TeacherRoutes::chooseSeries},
        {"POST", u"/api/teacher/admin/class", Teacher, &TeacherRoutes::addClass},
        {"POST", u"/api/teacher/admin/teacher", Teacher, &TeacherRoutes::addTeacher},
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
        {"GET", u"/api/teacher/learner-record", Teacher, &TeacherRoutes::learnerRecord},
        {"GET", u"/api/teacher/fit", Teacher, &TeacherRoutes::fit},
        {"POST", u"/api/teacher/fit", Teacher, &TeacherRoutes::fit},
        {"POST", u"/api/teacher/retention", Teacher, &TeacherRoutes::fit},
        {"GET", u"/api/teacher/round", Teacher, &TeacherRoutes::roundView},
        {"GET", u"/api/teacher/round/events", Teacher, &TeacherRoutes::roundView},
        {"GET", u"/api/teacher/rounds", Teacher, &TeacherRoutes::roundReport},
        {"POST", u"/api/teacher/round/start", Teacher, &TeacherRoutes::roundStart},
        {"POST", u"/api/teacher/round/reveal", Teacher, &TeacherRoutes::roundStep},
        {"POST", u"/api/teacher/round/next", Teacher, &TeacherRoutes::roundStep},
        {"POST", u"/api/teacher/round/end", Teacher, &TeacherRoutes::roundStep},
        // The report's page and its spreadsheets.
        {"GET", u"/teacher/*", Teacher, &TeacherRoutes::reportFile},
    };
    return table;
}

TeacherRoutes::TeacherRoutes(Setup setup, StoreCalls::Desks desks)
    : setup_(std::move(setup)), desks_(desks),
      report_(setup_.workDir, setup_.databaseUrl, QStringLiteral("全クラスの結果")),
      histories_(setup_.workDir), previews_(setup_.workDir, *setup_.measure),
      learners_(*setup_.learners), live_(setup_.workDir), fits_(setup_.workDir, setup_.databaseUrl),
      rounds_(setup_.workDir, *setup_.measure)
{
}

// A teacher signs in with their name and password; a request without a
// name (a page or script of the last release) is the administrator's.
namespace
{

// The teacher's session made and its cookies set, once the password is right.
HttpReply signedIn(Store& s, SignInGuard& guard, const SignInGuard::Limit& limit,
                   const QString& name, qint64 at)
{
    const QByteArray id = SignInCodes::newSessionId();
    if (!s.addTeacherSession(SignInCodes::sessionHash(id), name, at + TeacherRoutes::SessionMs)
             .isEmpty()) {
        return unavailable(
            QStringLiteral("記録に書き込めません。しばらくしてからもう一度試してください"));
    }
    HttpReply r = json(200, {{QStringLiteral("name"), name}});
    r.headers.append(guard.cookie(guard.teacherCookieName(), id, TeacherRoutes::SessionMs / 1000));
    r.headers.append(guard.deviceCookie(limit));
    return r;
}

} // namespace

HttpReply TeacherRoutes::signIn(Store& store, const Call& call)
{
    const QJsonObject body = QJsonDocument::fromJson(call.request.body).object();
    const QJsonValue named = body.value(QStringLiteral("name"));
    const QString name = named.isUndefined() ? Store::AdminName : named.toString().trimmed();
    if (name.isEmpty() || name.size() > MaxNameLength) {
        return refusal(400, QStringLiteral("名前を入力してください"));
    }
    QString failed;
    const std::optional<QPair<QByteArray, QByteArray>> stored =
        store.teacherPassword(name, &failed);
    if (!failed.isEmpty()) {
        return unavailable(StoreDown);
    }
    if (!stored && name == Store::AdminName) {
        return refusal(
            409, QStringLiteral("管理者のパスワードがまだありません。"
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
    const QJsonValue given = body.value(QStringLiteral("password"));
    const QString wrong = QStringLiteral("名前かパスワードが違います");
    if (!given.isString()) {
        return guard.wrongAnswer(call.respond, wrong);
    }
    // A name no teacher has is hashed all the same, against nothing: the
    // answer's time tells no names.
    const QPair<QByteArray, QByteArray> against =
        stored ? *stored : qMakePair(SignInCodes::newSalt(), QByteArray());
    // About a second of hashing, on a thread of its own at a lower
    // priority than the learners' answers.
    const auto release = [&guard, limit, at] { guard.release(limit, at); };
    return StoreCalls::later(
        desks_.hashing, call.respond,
        [&guard, limit, at, release, wrong, name, respond = call.respond,
         password = given.toString(), salt = against.first, hash = against.second](Store& s) {
            if (hash.isEmpty() ||
                !SignInCodes::sameBytes(SignInCodes::passwordHash(password, salt), hash)) {
                return guard.wrongAnswer(respond, wrong);
            }
            release();
            return signedIn(s, guard, limit, name, at);
        },
        release);
}

HttpReply TeacherRoutes::signOut(Store& store, const Call& call)
{
    store.removeTeacherSession(call.sessionHash);
    setup_.learners->roundEvents().endSession(call.sessionHash);
    previews_.drop(call.sessionHash);
    learners_.forget(call.sessionHash);
    HttpReply r = json(200, {});
    r.headers.append(setup_.guard->cookie(setup_.guard->teacherCookieName(), {}, SessionMs / 1000));
    return r;
}

HttpReply TeacherRoutes::classes(Store& store, const Call& call)
{
    const std::optional<ClassAccess> access = ClassAccess::of(store, call.teacher);
    if (!access) {
        return unavailable(StoreDown);
    }
    QJsonArray out;
    for (const Store::SchoolClass& c : access->classes()) {
        out.append(QJsonObject{{QStringLiteral("id"), c.id},
                               {QStringLiteral("name"), c.name},
                               {QStringLiteral("learners"), c.learners}});
    }
    return json(200, {{QStringLiteral("teacher"), call.teacher},
                      {QStringLiteral("admin"), access->admin()},
                      {QStringLiteral("classes"), out}});
}

namespace
{

// The learners of the classes a request asks for, in the school's order;
// none with `refused` set when it may not see them or the store failed.
std::optional<QList<Store::Learner>> chosenLearners(Store& store, const QString& teacher,
                                                    const HttpRequest& request, HttpReply* refused)
{
    const std::optional<QList<qint64>> ids =
        ClassAccess::chosenBy(store, teacher, request, refused);
    if (!ids) {
        return std::nullopt;
    }
    QList<Store::Learner> out;
    for (const qint64 id : *ids) {
        const std::optional<QList<Store::Learner>> learners = store.learners(id);
        if (!learners) {
            *refused = unavailable(StoreDown);
            return std::nullopt;
        }
        out += *learners;
    }
    return out;
}

} // namespace

HttpReply TeacherRoutes::state(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<QList<Store::Learner>> learners =
        chosenLearners(store, call.teacher, call.request, &refused);
    if (!learners) {
        return refused;
    }
    // Names, as the page lists them, and each learner with their class,
    // in the school's order.
    QStringList names;
    QJsonArray roster;
    for (const Store::Learner& l : *learners) {
        names.append(l.name);
        // `id` opens the learner's record (learner-record?learner=id).
        roster.append(QJsonObject{{QStringLiteral("id"), l.key},
                                  {QStringLiteral("name"), l.name},
                                  {QStringLiteral("number"), l.number},
                                  {QStringLiteral("class"), l.classId},
                                  {QStringLiteral("className"), l.className}});
    }
    QJsonArray made;
    for (const ClassLearners::Card& c : learners_.made(call.sessionHash)) {
        made.append(QJsonObject{{QStringLiteral("class"), c.className},
                                {QStringLiteral("name"), c.name},
                                {QStringLiteral("code"), c.code}});
    }
    return json(200, {{QStringLiteral("learners"), QJsonArray::fromStringList(names)},
                      {QStringLiteral("roster"), roster},
                      {QStringLiteral("made"), made},
                      {QStringLiteral("series"),
                       SeriesRoutes::listJson(setup_.workDir, store, histories_)}});
}

// The codes made in this session as cards to print, the same sheet as
// --add-learners writes; the address is the one the teacher's browser used,
// unless that is this machine's own name for itself.
HttpReply TeacherRoutes::cards(Store& store, const Call& call)
{
    const std::optional<ClassAccess> access = ClassAccess::of(store, call.teacher);
    HttpReply refused = unavailable(StoreDown);
    const std::optional<QList<qint64>> ids =
        access ? access->chosen(call.request, &refused) : std::nullopt;
    if (!ids) {
        return refused;
    }
    QStringList shown;
    for (const Store::SchoolClass& c : access->classes()) {
        if (ids->contains(c.id)) {
            shown.append(c.name);
        }
    }
    QList<CodeCards::Card> cards;
    for (const ClassLearners::Card& c : learners_.made(call.sessionHash)) {
        if (shown.contains(c.className)) {
            cards.append({c.className, c.name, c.code});
        }
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
                {},
                {}};
    r.headers.append(qMakePair(QByteArray("Content-Security-Policy"),
                               QByteArray("default-src 'none'; style-src 'unsafe-inline'; "
                                          "frame-ancestors 'none'")));
    return r;
}

HttpReply TeacherRoutes::live(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<QList<Store::Learner>> learners =
        chosenLearners(store, call.teacher, call.request, &refused);
    if (!learners) {
        return refused;
    }
    const std::optional<QJsonObject> now =
        live_.poll(store, setup_.learners->signOutAfterMs(), *learners);
    return now ? json(200, *now) : unavailable(StoreDown);
}

// A learner given a new code, removed or signed out everywhere (a shared
// device left signed in): each names the learner by name and class.
std::optional<Store::Learner> TeacherRoutes::learnerNamed(Store& store, const Call& call,
                                                          HttpReply* refused)
{
    const QString name = nameIn(call.request.body);
    if (name.isEmpty() || name.size() > MaxNameLength) {
        *refused = refusal(
            400, QStringLiteral("名前は1文字以上%1文字以内で入力してください").arg(MaxNameLength));
        return std::nullopt;
    }
    const std::optional<ClassAccess> access = ClassAccess::of(store, call.teacher);
    if (!access) {
        *refused = unavailable(StoreDown);
        return std::nullopt;
    }
    return access->learner(store, call.request, refused);
}

// A learner added to the class the request names (the teacher's only
// class when it names none; the folder's while the store has none).
HttpReply TeacherRoutes::addLearner(Store& store, const Call& call)
{
    const QString name = nameIn(call.request.body);
    if (name.isEmpty() || name.size() > MaxNameLength) {
        return refusal(
            400, QStringLiteral("名前は1文字以上%1文字以内で入力してください").arg(MaxNameLength));
    }
    const std::optional<ClassAccess> access = ClassAccess::of(store, call.teacher);
    if (!access) {
        return unavailable(StoreDown);
    }
    QString className;
    if (access->admin() && access->classes().isEmpty()) {
        QString failed;
        className = store.soleClass(&failed).value_or(QString());
    } else {
        HttpReply refused;
        const std::optional<qint64> id = access->one(call.request, &refused);
        if (!id) {
            return refused;
        }
        for (const Store::SchoolClass& c : access->classes()) {
            className = c.id == *id ? c.name : className;
        }
    }
    return madeCode(name, learners_.add(store, className, name, call.sessionHash));
}

HttpReply TeacherRoutes::newCode(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<Store::Learner> learner = learnerNamed(store, call, &refused);
    return learner ? madeCode(learner->name, learners_.newCode(store, *learner, call.sessionHash))
                   : refused;
}

HttpReply TeacherRoutes::madeCode(const QString& name, const ClassLearners::Made& made)
{
    if (!made.failed.isEmpty()) {
        return refusal(409, made.failed);
    }
    return json(200, {{QStringLiteral("name"), name}, {QStringLiteral("code"), made.code}});
}

HttpReply TeacherRoutes::removeLearner(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<Store::Learner> learner = learnerNamed(store, call, &refused);
    if (!learner) {
        return refused;
    }
    const QString failed = learners_.remove(store, learner->key);
    return failed.isEmpty() ? json(200, {}) : refusal(409, failed);
}

HttpReply TeacherRoutes::signOutLearner(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<Store::Learner> learner = learnerNamed(store, call, &refused);
    if (!learner) {
        return refused;
    }
    const std::optional<int> ended = learners_.signOut(store, learner->key);
    return ended ? json(200, {{QStringLiteral("ended"), *ended}}) : unavailable(StoreDown);
}

// One learner's 学習の記録, as they see it: for a learner of a class the
// teacher sees, named by their key (the opaque id the page is given).
HttpReply TeacherRoutes::learnerRecord(Store& store, const Call& call)
{
    const qsizetype q = call.request.target.indexOf('?');
    const QString key =
        QUrlQuery(QString::fromLatin1(q < 0 ? QByteArray() : call.request.target.mid(q + 1)))
            .queryItemValue(QStringLiteral("learner"), QUrl::FullyDecoded);
    const std::optional<ClassAccess> access = ClassAccess::of(store, call.teacher);
    QString failed;
    const std::optional<QList<Store::Learner>> learners =
        access ? store.learners(0, &failed) : std::nullopt;
    if (!learners) {
        return unavailable(StoreDown);
    }
    for (const Store::Learner& l : *learners) {
        if (l.key == key) {
            return access->sees(l.classId) ? setup_.learners->record(store, l.key)
                                           : ClassAccess::notYours();
        }
    }
    return refusal(404, QStringLiteral("その学習者は登録されていません"));
}

// Answered from the report's thread: no learner waits for it.
HttpReply TeacherRoutes::reportFile(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<QList<qint64>> ids =
        ClassAccess::chosenBy(store, call.teacher, call.request, &refused);
    const std::optional<std::pair<QDate, QDate>> days =
        ids ? daysAsked(call.request, &refused) : std::nullopt;
    if (!days) {
        return refused;
    }
    const bool report = call.path == u"/teacher/report";
    const bool page = call.path == u"/teacher/index.html";
    const QString name = call.path.mid(9).toString();
    if (!report && !page && !ReportFiles::spreadsheetNames().contains(name)) {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    report_.files({*ids, days->first, days->second, name == QLatin1String("gradebook.csv")},
                  [report, page, name, respond = call.respond](
                      std::shared_ptr<const ReportCache::Files> files, const QString& failure) {
                      respond(files ? reportReply(*files, report || page, !report, name)
                                    : unavailable(failure));
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

// 復習の調整 of a class the teacher sees: shown (GET), fitted (POST fit)
// or given a retention, answered from the fits' thread.
HttpReply TeacherRoutes::fit(Store& store, const Call& call)
{
    HttpReply refused;
    const std::optional<qint64> id =
        ClassAccess::oneBy(store, call.teacher, call.request, &refused);
    if (!id) {
        return refused;
    }
    std::optional<double> retention;
    if (call.path == u"/api/teacher/retention") {
        const QJsonValue given =
            QJsonDocument::fromJson(call.request.body).object().value(QStringLiteral("retention"));
        retention = given.toDouble(-1);
        if (const QString why = ClassParameters::retentionProblem(*retention); !why.isEmpty()) {
            return refusal(400, why);
        }
    }
    fits_.ask(*id, call.request.method == "POST" && !retention, retention, call.respond);
    return ServerReplies::pending();
}
