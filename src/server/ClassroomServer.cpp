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
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

namespace
{

using Reply = ClassroomServer::Reply;
using ServerReplies::json;
using ServerReplies::refusal;
using ServerReplies::storeDown;

QByteArray statusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 503:
        return "Service Unavailable";
    default:
        return "Internal Server Error";
    }
}

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

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

ClassroomServer::ClassroomServer(QString workDir, Store& store, const TextMeasure& measure,
                                 bool secure)
    : workDir_(std::move(workDir)), homePage_(HomePage::read(workDir_).url), store_(store),
      measure_(measure), secure_(secure)
{
    for (const SoundCue cue : AllSoundCues) {
        soundFiles_.at(static_cast<std::size_t>(cue)) =
            QString::fromLatin1(SoundCues::fileName(cue));
    }
}

ClassroomServer::~ClassroomServer() = default;

void ClassroomServer::missingHandler(const QHttpServerRequest& /*request*/, QTcpSocket* socket)
{
    send(socket, refusal(404, QStringLiteral("見つかりません")));
}

bool ClassroomServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    Reply reply = route(request, socket);
    if (reply.status != 0) {
        send(socket, reply);
    }
    return true;
}

ClassroomServer::Reply ClassroomServer::route(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const bool tooLong = request.body().size() > Requests::MaxBody ||
                         request.value("Content-Length").toLongLong() > Requests::MaxBody;
    if (tooLong) {
        return refusal(413, QStringLiteral("要求が大きすぎます"));
    }
    // The path as sent: percent-escapes are never decoded into a file name.
    const QString path = request.url().path(QUrl::FullyEncoded);
    if (path == QLatin1String("/teacher") || path.startsWith(QLatin1String("/teacher/")) ||
        path.startsWith(QLatin1String("/api/teacher/"))) {
        return teacher(path, request, socket);
    }
    if (path.startsWith(QLatin1String("/api/"))) {
        return api(path, request, socket);
    }
    if (request.method() != QHttpServerRequest::Method::Get) {
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

ClassroomServer::Reply ClassroomServer::api(const QString& path, const QHttpServerRequest& request,
                                            QTcpSocket* socket)
{
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    if (post && !Requests::sameOrigin(request.value("Host"), request.value("Origin"),
                                      request.value("Referer"))) {
        return refusal(403, QStringLiteral("このページからの要求ではありません"));
    }
    if (post && path == QLatin1String("/api/signin")) {
        return signIn(request, socket);
    }
    QString failed;
    const std::optional<QString> learner = learnerOf(request, &failed);
    if (!failed.isEmpty()) {
        return storeDown();
    }
    if (!learner) {
        return refusal(401, QStringLiteral("サインインしてください"));
    }
    if (post && path == QLatin1String("/api/signout")) {
        return signOut(request);
    }
    LearnerScreen& screen = screenOf(*learner);
    if (get && path == QLatin1String("/api/state")) {
        QJsonObject state = screen.state();
        state.insert(QStringLiteral("learner"), *learner);
        return json(200, state);
    }
    if (post) {
        return act(path, screen, request.body());
    }
    return refusal(404, QStringLiteral("見つかりません"));
}

ClassroomServer::Reply ClassroomServer::act(const QString& path, LearnerScreen& screen,
                                            const QByteArray& body)
{
    Requests::Kind kind;
    if (path == QLatin1String("/api/open")) {
        kind = Requests::Kind::Open;
    } else if (path == QLatin1String("/api/move")) {
        kind = Requests::Kind::Move;
    } else if (path == QLatin1String("/api/press")) {
        kind = Requests::Kind::Press;
    } else if (path == QLatin1String("/api/carry")) {
        kind = Requests::Kind::Carry;
    } else {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    QString why;
    const std::optional<Requests::Command> command = Requests::parse(kind, body, &why);
    if (!command) {
        return refusal(400, why);
    }
    std::optional<LearnerScreen::Refusal> refused;
    switch (kind) {
    case Requests::Kind::Open:
        refused = screen.open(command->entry);
        break;
    case Requests::Kind::Move:
        refused = screen.move(command->move);
        break;
    case Requests::Kind::Press:
        refused = screen.press(command->button);
        break;
    case Requests::Kind::Carry:
        refused = screen.carry(*command);
        break;
    case Requests::Kind::SignIn:
        break;
    }
    if (refused) {
        return refusal(refused->status, refused->reason);
    }
    QJsonObject state = screen.state();
    state.insert(QStringLiteral("learner"), screen.learner());
    return json(200, state);
}

std::optional<QString> ClassroomServer::learnerOf(const QHttpServerRequest& request,
                                                  QString* failure)
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
    std::optional<QString> learner = store_.sessionLearner(hash, at, failure);
    if (learner) {
        knownSessions_.insert(hash, {*learner, at});
    } else if (failure->isEmpty()) {
        knownSessions_.remove(hash);
    }
    return learner;
}

LearnerScreen& ClassroomServer::screenOf(const QString& learner)
{
    std::shared_ptr<LearnerScreen>& screen = screens_[learner];
    if (!screen) {
        screen = std::make_shared<LearnerScreen>(learner, workDir_, homePage_, measure_, store_);
    }
    return *screen;
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

ClassroomServer::Reply ClassroomServer::signIn(const QHttpServerRequest& request,
                                               QTcpSocket* socket)
{
    const QString address = request.remoteAddress().toString();
    const qint64 at = now();
    if (lockedOut(address, at)) {
        return refusal(429,
                       QStringLiteral("コードの間違いが続いたため、1分間サインインできません"));
    }
    QString why;
    const std::optional<Requests::Command> command =
        Requests::parse(Requests::Kind::SignIn, request.body(), &why);
    QString failed;
    const std::optional<QString> learner =
        command ? store_.learnerWithCode(command->code, &failed) : std::nullopt;
    // The store's failure is not a wrong code: the learner is told to try
    // again, and it does not count towards the lock-out.
    if (!failed.isEmpty()) {
        return storeDown();
    }
    if (!learner) {
        return wrongAnswer(address, at, socket, QStringLiteral("コードが違います"));
    }
    const QByteArray id = SignInCodes::newSessionId();
    if (!store_.addSession(SignInCodes::sessionHash(id), *learner, at + SessionMs).isEmpty()) {
        return storeDown();
    }
    Reply r = json(200, {{QStringLiteral("learner"), *learner}});
    r.headers.append(sessionCookie(Requests::CookieName, id));
    return r;
}

ClassroomServer::Reply ClassroomServer::wrongAnswer(const QString& address, qint64 at,
                                                    QTcpSocket* socket, const QString& why)
{
    WrongCodes& wrong = wrongCodes_[address];
    wrong.times.append(at);
    if (wrong.times.size() >= WrongCodesAllowed) {
        wrong.refusedUntil = at + LockOutMs;
        wrong.times.clear();
    }
    // A wrong answer is given late, without holding up anyone else.
    const Reply late = refusal(401, why);
    QTimer::singleShot(WrongCodeDelayMs, this,
                       [this, late, to = QPointer<QTcpSocket>(socket)] { send(to, late); });
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

ClassroomServer::Reply ClassroomServer::signOut(const QHttpServerRequest& request)
{
    const QByteArray hash =
        SignInCodes::sessionHash(Requests::sessionCookie(request.value("Cookie")));
    knownSessions_.remove(hash);
    store_.removeSession(hash);
    Reply r = json(200, {});
    r.headers.append(sessionCookie(Requests::CookieName, {}));
    return r;
}

void ClassroomServer::leaveAll()
{
    for (const std::shared_ptr<LearnerScreen>& screen : std::as_const(screens_)) {
        screen->leave();
    }
}

void ClassroomServer::send(QTcpSocket* socket, const Reply& reply) const
{
    if (socket == nullptr || socket->state() != QAbstractSocket::ConnectedState) {
        return;
    }
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + statusText(reply.status) + "\r\n";
    head += "Content-Type: " + reply.type + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    bool cacheSet = false;
    bool policySet = false;
    for (const auto& [key, value] : reply.headers) {
        head += key + ": " + value + "\r\n";
        cacheSet = cacheSet || key == "Cache-Control";
        policySet = policySet || key == "Content-Security-Policy";
    }
    // The page runs only its own script and style, in no one else's frame.
    if (!policySet) {
        head += "Content-Security-Policy: default-src 'self'; img-src 'self' data:; "
                "media-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'\r\n";
        head += "X-Frame-Options: DENY\r\n";
    }
    head += "X-Content-Type-Options: nosniff\r\nReferrer-Policy: same-origin\r\n";
    if (!cacheSet) {
        head += "Cache-Control: no-store\r\n";
    }
    socket->write(head + "\r\n" + reply.body);
}
