#include "server/ClassroomServer.h"

#include "files/FileLookup.h"
#include "record/HomePage.h"
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
constexpr std::array<PageFile, 7> PageFiles = {{
    {"/", ":/page/index.html", "text/html; charset=utf-8"},
    {"/page.js", ":/page/page.js", "text/javascript; charset=utf-8"},
    {"/page.css", ":/page/page.css", "text/css; charset=utf-8"},
    {"/title.png", ":/page/title.png", "image/png"},
    {"/teacher", ":/page/teacher.html", "text/html; charset=utf-8"},
    {"/teacher/teacher.js", ":/page/teacher.js", "text/javascript; charset=utf-8"},
    {"/teacher/teacher.css", ":/page/teacher.css", "text/css; charset=utf-8"},
}};

std::optional<Requests::Kind> actionOf(const QString& path)
{
    if (path == QLatin1String("/api/open")) {
        return Requests::Kind::Open;
    }
    if (path == QLatin1String("/api/move")) {
        return Requests::Kind::Move;
    }
    if (path == QLatin1String("/api/press")) {
        return Requests::Kind::Press;
    }
    if (path == QLatin1String("/api/carry")) {
        return Requests::Kind::Carry;
    }
    return std::nullopt;
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

ClassroomServer::ClassroomServer(QString workDir, const QString& databaseUrl, Store& store,
                                 const TextMeasure& measure, bool secure)
    : workDir_(std::move(workDir)), homePage_(HomePage::read(workDir_).url), store_(store),
      measure_(measure), secure_(secure), stores_(workDir_, databaseUrl),
      learners_({workDir_, homePage_, &measure_, &stores_}),
      report_(workDir_, databaseUrl, QStringLiteral("クラスの結果"))
{
    for (const SoundCue cue : AllSoundCues) {
        soundFiles_.at(static_cast<std::size_t>(cue)) =
            QString::fromLatin1(SoundCues::fileName(cue));
    }
}

ClassroomServer::~ClassroomServer() = default;

void ClassroomServer::handle(const HttpRequest& request, const HttpResponder& respond)
{
    Reply reply = route(request, respond);
    if (reply.status != 0) {
        respond(std::move(reply));
    }
}

ClassroomServer::Reply ClassroomServer::route(const HttpRequest& request,
                                              const HttpResponder& respond)
{
    // The path as sent: percent-escapes are never decoded into a file name.
    const QString path = QString::fromLatin1(request.path());
    if (path == QLatin1String("/teacher") || path.startsWith(QLatin1String("/teacher/")) ||
        path.startsWith(QLatin1String("/api/teacher/"))) {
        return teacher(path, request, respond);
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
    const std::optional<QString> learner = learnerOf(request);
    if (!learner) {
        return refusal(401, QStringLiteral("サインインしてください"));
    }
    if (post && path == QLatin1String("/api/signout")) {
        return signOut(request);
    }
    const QByteArray hash =
        SignInCodes::sessionHash(Requests::sessionCookie(request.value("Cookie")));
    // Answered later, from a worker thread; a session found ended is
    // forgotten here, on this thread.
    const auto answer = [this, respond, hash](const LearnerSessions::Answer& a) {
        if (a.signedOut) {
            QMetaObject::invokeMethod(this, [this, hash] { knownSessions_.remove(hash); });
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
    if (get && path == QLatin1String("/api/state")) {
        learners_.state(*learner, hash, answer);
        return Reply{0, {}, {}, {}};
    }
    const std::optional<Requests::Kind> kind = actionOf(path);
    if (post && kind) {
        learners_.act(*learner, hash, *kind, request.body, answer);
        return Reply{0, {}, {}, {}};
    }
    return refusal(404, QStringLiteral("見つかりません"));
}

std::optional<QString> ClassroomServer::learnerOf(const HttpRequest& request)
{
    const QByteArray id = Requests::sessionCookie(request.value("Cookie"));
    if (id.isEmpty()) {
        return std::nullopt;
    }
    const QByteArray hash = SignInCodes::sessionHash(id);
    const qint64 at = now();
    if (const auto known = knownSessions_.constFind(hash);
        known != knownSessions_.cend() && at - known->seenMs < SessionRecheckMs) {
        return known->learner;
    }
    std::optional<QString> learner = store_.sessionLearner(hash, at);
    if (learner) {
        knownSessions_.insert(hash, {*learner, at});
    } else {
        knownSessions_.remove(hash);
    }
    return learner;
}

bool ClassroomServer::lockedOut(const QString& address, qint64 at)
{
    // Addresses with nothing left to remember go, so that many addresses
    // cannot make the table grow without end.
    if (wrongCodes_.size() > 1000) {
        wrongCodes_.removeIf([at](const auto& entry) {
            return entry.value().refusedUntil <= at &&
                   (entry.value().times.isEmpty() || entry.value().times.last() <= at - LockOutMs);
        });
    }
    WrongCodes& wrong = wrongCodes_[address];
    while (!wrong.times.isEmpty() && wrong.times.first() <= at - LockOutMs) {
        wrong.times.removeFirst();
    }
    return wrong.refusedUntil > at;
}

ClassroomServer::Reply ClassroomServer::signIn(const HttpRequest& request,
                                               const HttpResponder& respond)
{
    const QString address = request.peer.toString();
    const qint64 at = now();
    if (lockedOut(address, at)) {
        return refusal(429,
                       QStringLiteral("コードの間違いが続いたため、1分間サインインできません"));
    }
    QString why;
    const std::optional<Requests::Command> command =
        Requests::parse(Requests::Kind::SignIn, request.body, &why);
    QString failed;
    const std::optional<QString> learner =
        command ? store_.learnerWithCode(command->code, &failed) : std::nullopt;
    // The store's failure is not a wrong code: the learner is told to try
    // again, without the store's place or a count towards the lock-out.
    const QString storeDown =
        QStringLiteral("記録を読み書きできないため、いまはサインインできません。"
                       "しばらくしてからもう一度はじめてください");
    if (!failed.isEmpty()) {
        return unavailable(storeDown);
    }
    if (!learner) {
        return wrongAnswer(address, at, respond, QStringLiteral("コードが違います"));
    }
    const QByteArray id = SignInCodes::newSessionId();
    if (!store_.addSession(SignInCodes::sessionHash(id), *learner, at + SessionMs).isEmpty()) {
        return unavailable(storeDown);
    }
    Reply r = json(200, {{QStringLiteral("learner"), *learner}});
    r.headers.append(sessionCookie(Requests::CookieName, id));
    return r;
}

ClassroomServer::Reply ClassroomServer::wrongAnswer(const QString& address, qint64 at,
                                                    const HttpResponder& respond,
                                                    const QString& why)
{
    WrongCodes& wrong = wrongCodes_[address];
    wrong.times.append(at);
    if (wrong.times.size() >= WrongCodesAllowed) {
        wrong.refusedUntil = at + LockOutMs;
        wrong.times.clear();
    }
    // A wrong answer is given late, without holding up anyone else.
    const Reply late = refusal(401, why);
    QTimer::singleShot(WrongCodeDelayMs, this, [late, respond] { respond(late); });
    return Reply{0, {}, {}, {}};
}

QPair<QByteArray, QByteArray> ClassroomServer::sessionCookie(const char* name,
                                                             const QByteArray& id) const
{
    QByteArray cookie = QByteArray(name) + '=' + id +
                        "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                        (id.isEmpty() ? QByteArray("0") : QByteArray::number(SessionMs / 1000));
    if (secure_) {
        cookie += "; Secure";
    }
    return qMakePair(QByteArray("Set-Cookie"), cookie);
}

ClassroomServer::Reply ClassroomServer::signOut(const HttpRequest& request)
{
    const QByteArray hash =
        SignInCodes::sessionHash(Requests::sessionCookie(request.value("Cookie")));
    knownSessions_.remove(hash);
    store_.removeSession(hash);
    Reply r = json(200, {});
    r.headers.append(sessionCookie(Requests::CookieName, {}));
    return r;
}
