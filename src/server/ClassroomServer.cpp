#include "server/ClassroomServer.h"

#include "files/FileLookup.h"
#include "record/HomePage.h"
#include "server/ProgressRoute.h"
#include "server/ServerLog.h"
#include "server/ServerReplies.h"
#include "server/SignInCodes.h"
#include "server/Store.h"
#include "session/ScreenJson.h"
#include "session/SoundCues.h"

#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>

namespace
{

using Reply = ClassroomServer::Reply;
using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::unavailable;

// The page's own files: a fixed table, so no path from a request ever
// reaches the file system.
struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
constexpr std::array<PageFile, 13> PageFiles = {{
    {"/", ":/page/index.html", "text/html; charset=utf-8"},
    {"/page.js", ":/page/page.js", "text/javascript; charset=utf-8"},
    {"/page.css", ":/page/page.css", "text/css; charset=utf-8"},
    {"/title.png", ":/page/title.png", "image/png"},
    {"/teacher", ":/page/teacher.html", "text/html; charset=utf-8"},
    {"/teacher/teacher.js", ":/page/teacher.js", "text/javascript; charset=utf-8"},
    {"/teacher/teacher.css", ":/page/teacher.css", "text/css; charset=utf-8"},
    {"/teacher/series.js", ":/page/series.js", "text/javascript; charset=utf-8"},
    // The editor's page asks for the teacher's session itself.
    {"/teacher/editor", ":/page/editor.html", "text/html; charset=utf-8"},
    {"/teacher/editor.js", ":/page/editor.js", "text/javascript; charset=utf-8"},
    {"/teacher/editor-form.js", ":/page/editor-form.js", "text/javascript; charset=utf-8"},
    {"/teacher/editor.css", ":/page/editor.css", "text/css; charset=utf-8"},
    {"/teacher/call.js", ":/page/call.js", "text/javascript; charset=utf-8"},
}};

const QString StoreDown = QStringLiteral("記録を読み書きできないため、いまは続けられません。"
                                         "しばらくしてからもう一度試してください");

// A reply given later, from a worker.
Reply Pending()
{
    return Reply{0, {}, {}, {}};
}

std::optional<Requests::Kind> actionOf(const QString& path)
{
    return path.startsWith(QLatin1String("/api/")) ? Requests::verbKind(QStringView(path).mid(5))
                                                   : std::nullopt;
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

ClassroomServer::ClassroomServer(QString workDir, const QString& databaseUrl,
                                 const TextMeasure& measure, bool secure)
    : workDir_(std::move(workDir)), homePage_(HomePage::read(workDir_).url), measure_(measure),
      secure_(secure), stores_(workDir_, databaseUrl),
      learners_({workDir_, homePage_, &measure_, &stores_}),
      report_(workDir_, databaseUrl, QStringLiteral("クラスの結果"))
{
    for (const SoundCue cue : AllSoundCues) {
        soundFiles_.at(static_cast<std::size_t>(cue)) =
            QString::fromLatin1(SoundCues::fileName(cue));
    }
    learners_.setSessionLength(signOutAfterMs_);
    sweep_ = new QTimer(this);
    sweep_->setInterval(SweepMs);
    connect(sweep_, &QTimer::timeout, this, [this] { endIdleSessions(); });
    sweep_->start();
}

void ClassroomServer::setSignOutAfter(int minutes)
{
    signOutAfterMs_ = std::max(1, minutes) * 60 * qint64(1000);
    learners_.setSessionLength(signOutAfterMs_);
}

// Sessions whose time ran out end in the store, and each goes to the log,
// whether or not its browser comes back.
void ClassroomServer::endIdleSessions()
{
    storeWork_.run([minutes = signOutAfterMs_ / 60000](Store* store, const QString&) {
        if (store == nullptr) {
            return;
        }
        for (const QString& learner : store->endExpiredSessions(now()).value_or(QStringList())) {
            ServerLog::line(QStringLiteral("サインアウト（%1分操作なし） %2")
                                .arg(minutes)
                                .arg(ServerLog::clean(learner)));
        }
    });
}

ClassroomServer::~ClassroomServer() = default;

void ClassroomServer::handle(const HttpRequest& request, const HttpResponder& respond)
{
    if (std::optional<Reply> refused = misdirected(request)) {
        respond(std::move(*refused));
        return;
    }
    Reply reply = route(request, respond);
    if (reply.status != 0) {
        respond(std::move(reply));
    }
}

// Before anything else: a request for another name (a page elsewhere whose
// name was made to point here, as DNS rebinding does) gets nothing of this
// server, not even its page.
std::optional<ClassroomServer::Reply> ClassroomServer::misdirected(const HttpRequest& request)
{
    const auto hosts =
        std::count_if(request.headers.begin(), request.headers.end(), [](const auto& h) {
            return h.first.compare("Host", Qt::CaseInsensitive) == 0;
        });
    const ServerNames::Verdict verdict =
        hosts == 1 ? names_.judge(request.value("Host")) : ServerNames::Verdict::Malformed;
    if (verdict == ServerNames::Verdict::Ours) {
        return std::nullopt;
    }
    Reply r;
    r.type = "text/plain; charset=utf-8";
    if (verdict == ServerNames::Verdict::Malformed) {
        r.status = 400;
        r.body = QStringLiteral("要求の Host が正しくありません\n").toUtf8();
    } else {
        r.status = 421;
        r.body = QStringLiteral(
                     "このサーバーの名前ではありません。先生に教わったアドレスを開いてください\n")
                     .toUtf8();
    }
    return r;
}

ClassroomServer::Reply ClassroomServer::route(const HttpRequest& request,
                                              const HttpResponder& respond)
{
    // The path as sent: percent-escapes are never decoded into a file name.
    const QString path = QString::fromLatin1(request.path());
    if (path == QLatin1String("/teacher") || path.startsWith(QLatin1String("/teacher/")) ||
        path.startsWith(QLatin1String("/api/teacher/"))) {
        return later(request.method == "GET" ? storeReads_ : storeWork_, respond,
                     [this, path, request, respond](Store& store) {
                         return teacher(store, path, request, respond);
                     });
    }
    if (path.startsWith(QLatin1String("/api/"))) {
        return api(path, request, respond);
    }
    if (request.method != "GET") {
        return refusal(405, QStringLiteral("この方法では使えません"));
    }
    if (path.startsWith(QLatin1String("/sounds/"))) {
        return sound(path.mid(8));
    }
    return staticFile(path);
}

ClassroomServer::Reply ClassroomServer::staticFile(const QString& path) const
{
    for (const PageFile& f : PageFiles) {
        if (path == QLatin1String(f.path)) {
            QFile file(QString::fromLatin1(f.resource));
            file.open(QIODevice::ReadOnly);
            Reply r;
            r.type = f.type;
            r.body = file.readAll();
            return r;
        }
    }
    return refusal(404, QStringLiteral("見つかりません"));
}

ClassroomServer::Reply ClassroomServer::sound(const QString& name) const
{
    for (const SoundCue cue : AllSoundCues) {
        if (name != ScreenJson::cueName(cue) + QStringLiteral(".wav")) {
            continue;
        }
        // Only the four sound files, looked up in the folder as the window
        // looks them up.
        const QString bare = soundFiles_.at(static_cast<std::size_t>(cue));
        QFile file(FileLookup::resolve(workDir_, bare));
        if (bare.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > 16 * 1024 * 1024) {
            break;
        }
        Reply r;
        r.type = "audio/wav";
        r.body = file.readAll();
        r.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=3600")));
        return r;
    }
    return refusal(404, QStringLiteral("見つかりません"));
}

ClassroomServer::Reply ClassroomServer::later(Workers& workers, const HttpResponder& respond,
                                              std::function<Reply(Store&)> work,
                                              const std::function<void()>& notRun)
{
    const bool taken = workers.run(
        [respond, work = std::move(work), notRun](Store* store, const QString& failure) {
            if (store == nullptr) {
                ServerLog::often(failure);
                if (notRun) {
                    notRun();
                }
                respond(unavailable(StoreDown));
                return;
            }
            if (Reply r = work(*store); r.status != 0) {
                respond(std::move(r));
            }
        });
    if (!taken && notRun) {
        notRun();
    }
    return taken ? Pending()
                 : unavailable(
                       QStringLiteral("混み合っています。少し待ってからもう一度試してください"));
}

ClassroomServer::Reply ClassroomServer::api(const QString& path, const HttpRequest& request,
                                            const HttpResponder& respond)
{
    const bool post = request.method == "POST";
    const bool get = request.method == "GET";
    if (post && !Requests::sameOrigin(request.value("Host"), request.value("Origin"),
                                      request.value("Referer"))) {
        return refusal(403, QStringLiteral("このページからの要求ではありません"));
    }
    if (post && path == QLatin1String("/api/signin")) {
        return signIn(request, respond);
    }
    const QByteArray id = Requests::sessionCookie(request.value("Cookie"));
    if (id.isEmpty()) {
        return refusal(401, QStringLiteral("サインインしてください"));
    }
    const QByteArray hash = SignInCodes::sessionHash(id);
    if (post && path == QLatin1String("/api/signout")) {
        return later(storeWork_, respond,
                     [this, hash](Store& store) { return signOut(store, hash); });
    }
    if (get && path == QLatin1String("/api/progress")) {
        return later(storeReads_, respond, [this, hash](Store& store) {
            return ProgressRoute::reply(store, hash, {workDir_, homePage_, &measure_});
        });
    }
    const std::optional<Requests::Kind> kind = actionOf(path);
    if (!(get && path == QLatin1String("/api/state")) && !(post && kind)) {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    const auto go = [this, hash, kind, body = request.body, respond](const QString& learner) {
        toLearner(learner, hash, kind, body, respond);
    };
    if (const std::optional<QString> learner = knownLearner(hash)) {
        go(*learner);
        return Pending();
    }
    return later(storeReads_, respond, [this, hash, go](Store& store) {
        QString failed;
        const std::optional<QString> learner = store.sessionLearner(hash, now(), &failed);
        if (!failed.isEmpty()) {
            return unavailable(StoreDown);
        }
        if (!learner) {
            return refusal(401, QStringLiteral("サインインしてください"));
        }
        rememberSession(hash, *learner);
        go(*learner);
        return Pending();
    });
}

// Hands a request to the learner's sessions; their answer goes out from
// the worker that made it.
void ClassroomServer::toLearner(const QString& learner, const QByteArray& hash,
                                std::optional<Requests::Kind> kind, const QByteArray& body,
                                const HttpResponder& respond)
{
    const auto answer = [this, respond, hash](const LearnerSessions::Answer& a) {
        if (a.signedOut) {
            forgetSession(hash);
        }
        Reply r;
        r.status = a.status;
        r.body = a.body;
        if (a.retryAfter > 0) {
            r.headers.append(
                qMakePair(QByteArray("Retry-After"), QByteArray::number(a.retryAfter)));
        }
        respond(std::move(r));
    };
    if (kind) {
        learners_.act(learner, hash, *kind, body, answer);
    } else {
        learners_.state(learner, hash, answer);
    }
}

std::optional<QString> ClassroomServer::knownLearner(const QByteArray& hash)
{
    const std::lock_guard<std::mutex> lock(shared_);
    const auto known = knownSessions_.constFind(hash);
    if (known != knownSessions_.cend() && now() - known->seenMs < SessionRecheckMs) {
        return known->learner;
    }
    return std::nullopt;
}

void ClassroomServer::rememberSession(const QByteArray& hash, const QString& learner)
{
    const std::lock_guard<std::mutex> lock(shared_);
    // Sessions are checked again within a minute anyway: a table grown
    // large is simply started afresh.
    if (knownSessions_.size() > 100000) {
        knownSessions_.clear();
    }
    knownSessions_.insert(hash, {learner, now()});
}

void ClassroomServer::forgetSession(const QByteArray& hash)
{
    const std::lock_guard<std::mutex> lock(shared_);
    knownSessions_.remove(hash);
}

QString ClassroomServer::clientAddress(const HttpRequest& request) const
{
    // Behind the school's proxy every pupil comes from its address: the
    // address it names is the pupil's, and only that proxy is believed.
    if (!trustedProxy_.isNull() && request.peer.isEqual(trustedProxy_)) {
        const QByteArray forwarded = request.value("X-Forwarded-For");
        const QHostAddress named(QString::fromLatin1(forwarded.split(',').last().trimmed()));
        if (!named.isNull()) {
            return named.toString();
        }
    }
    return request.peer.toString();
}

// A sign-in with a good device cookie counts against that device alone,
// so that no one's guesses from the class's address keep it out; the
// cookie is the device's, whichever pupil signs in on it. Any other counts
// against its address.
ClassroomServer::SignInLimit ClassroomServer::signInLimit(const HttpRequest& request,
                                                          bool teacher) const
{
    const QString kind = teacher ? QStringLiteral("teacher ") : QStringLiteral("learner ");
    const QString whose = teacher ? QStringLiteral("先生のパスワード") : QStringLiteral("コード");
    const QString address = clientAddress(request);
    const QByteArray cookie =
        Requests::sessionCookie(request.value("Cookie"), Requests::DeviceCookieName);
    const QByteArray device = SignInCodes::deviceOf(cookie, deviceKey_);
    if (!device.isEmpty()) {
        return {kind + QStringLiteral("device ") + QString::fromLatin1(device),
                teacher ? TeacherAllowance : DeviceAllowance,
                QStringLiteral("%1（サインインしたことのある端末、%2）").arg(whose, address),
                cookie};
    }
    return {kind + SignInLimits::addressKey(QHostAddress(address)),
            teacher ? TeacherAllowance : AddressAllowance,
            QStringLiteral("%1（%2）").arg(whose, address),
            {}};
}

std::optional<ClassroomServer::Reply> ClassroomServer::overLimit(const SignInLimit& limit,
                                                                 qint64 at, const QString& what)
{
    const SignInLimits::Verdict verdict = limits_.reserve(limit.key, limit.allowance, at);
    if (verdict.granted) {
        return std::nullopt;
    }
    if (verdict.newlyRefused) {
        ServerLog::line(QStringLiteral("締め出し %1").arg(limit.shown));
    }
    Reply r = refusal(429, QStringLiteral("%1の間違いが続いたため、%2秒間サインインできません")
                               .arg(what, QString::number(verdict.retryAfterSeconds)));
    r.headers.append(
        qMakePair(QByteArray("Retry-After"), QByteArray::number(verdict.retryAfterSeconds)));
    return r;
}

ClassroomServer::Reply ClassroomServer::signIn(const HttpRequest& request,
                                               const HttpResponder& respond)
{
    QString why;
    const std::optional<Requests::Command> command =
        Requests::parse(Requests::Kind::SignIn, request.body, &why);
    const SignInLimit limit = signInLimit(request, false);
    const qint64 at = now();
    // Counted before the check: however many come at once, no more than
    // the allowance are checked.
    if (std::optional<Reply> refused = overLimit(limit, at, QStringLiteral("コード"))) {
        return *refused;
    }
    if (!command) {
        return wrongAnswer(respond, QStringLiteral("コードが違います"));
    }
    // One hash of the code, whichever codes exist, on a thread of its own.
    const auto release = [this, limit, at] { limits_.release(limit.key, at); };
    return later(
        hashing_, respond,
        [this, code = command->code, limit, release, respond, cookie = request.value("Cookie"),
         address = clientAddress(request)](Store& store) {
            endEarlierSession(store, cookie);
            QString failed;
            const std::optional<QString> learner = store.learnerWithCode(code, &failed);
            if (learner || !failed.isEmpty()) {
                release();
            }
            // The store's failure is not a wrong code: the learner is told to try
            // again, without the store's place or a count towards the limit.
            if (!failed.isEmpty()) {
                return unavailable(StoreDown);
            }
            if (!learner) {
                return wrongAnswer(respond, QStringLiteral("コードが違います"));
            }
            const QByteArray id = SignInCodes::newSessionId();
            const QByteArray hash = SignInCodes::sessionHash(id);
            if (!store.addSession(hash, *learner, now() + signOutAfterMs_).isEmpty()) {
                return unavailable(StoreDown);
            }
            rememberSession(hash, *learner);
            ServerLog::line(
                QStringLiteral("サインイン %1 %2").arg(ServerLog::clean(*learner), address));
            Reply r = json(200, {{QStringLiteral("learner"), *learner}});
            r.headers.append(sessionCookie(Requests::CookieName, id, 0));
            r.headers.append(deviceCookie(limit));
            return r;
        },
        release);
}

// A wrong answer is given late, without holding up anyone else: the
// timer runs on the event loop's thread.
ClassroomServer::Reply ClassroomServer::wrongAnswer(const HttpResponder& respond,
                                                    const QString& why)
{
    const Reply late = refusal(401, why);
    QMetaObject::invokeMethod(this, [this, late, respond] {
        QTimer::singleShot(WrongCodeDelayMs, this, [late, respond] { respond(late); });
    });
    return Pending();
}

QPair<QByteArray, QByteArray> ClassroomServer::deviceCookie(const SignInLimit& limit) const
{
    return sessionCookie(Requests::DeviceCookieName,
                         limit.deviceCookie.isEmpty() ? SignInCodes::newDeviceCookie(deviceKey_)
                                                      : limit.deviceCookie,
                         DeviceCookieSeconds);
}

QPair<QByteArray, QByteArray> ClassroomServer::sessionCookie(const char* name, const QByteArray& id,
                                                             qint64 maxAgeSeconds) const
{
    QByteArray cookie = QByteArray(name) + '=' + id + "; Path=/; HttpOnly; SameSite=Strict";
    if (id.isEmpty()) {
        cookie += "; Max-Age=0";
    } else if (maxAgeSeconds > 0) {
        cookie += "; Max-Age=" + QByteArray::number(maxAgeSeconds);
    }
    if (secure_) {
        cookie += "; Secure";
    }
    return qMakePair(QByteArray("Set-Cookie"), cookie);
}

ClassroomServer::Reply ClassroomServer::signOut(Store& store, const QByteArray& hash)
{
    forgetSession(hash);
    if (const std::optional<QString> learner = store.sessionLearner(hash, 0)) {
        ServerLog::line(QStringLiteral("サインアウト %1").arg(ServerLog::clean(*learner)));
    }
    store.removeSession(hash);
    Reply r = json(200, {});
    r.headers.append(sessionCookie(Requests::CookieName, {}));
    return r;
}

// On a shared device the next pupil signs in where the last one left off:
// that session ends first, whoever the new code is for.
void ClassroomServer::endEarlierSession(Store& store, const QByteArray& cookieHeader)
{
    const QByteArray id = Requests::sessionCookie(cookieHeader);
    if (id.isEmpty()) {
        return;
    }
    const QByteArray hash = SignInCodes::sessionHash(id);
    forgetSession(hash);
    if (const std::optional<QString> learner = store.sessionLearner(hash, now())) {
        ServerLog::line(QStringLiteral("サインアウト（同じ端末で次のサインイン） %1")
                            .arg(ServerLog::clean(*learner)));
        store.removeSession(hash);
    }
}
