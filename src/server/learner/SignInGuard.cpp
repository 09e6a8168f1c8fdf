#include "server/learner/SignInGuard.h"

#include "server/http/ServerReplies.h"
#include "server/learner/Requests.h"
#include "server/log/ServerLog.h"
#include "server/store/SignInCodes.h"

#include <QCryptographicHash>
#include <QTimer>

QString SignInGuard::clientAddress(const HttpRequest& request) const
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
SignInGuard::Limit SignInGuard::limitFor(const HttpRequest& request, bool teacher) const
{
    const QString kind = teacher ? QStringLiteral("teacher ") : QStringLiteral("learner ");
    const QString whose = teacher ? QStringLiteral("先生のパスワード") : QStringLiteral("コード");
    const QString address = clientAddress(request);
    const QByteArray cookie = Requests::sessionCookie(request.value("Cookie"), deviceCookieName());
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

std::optional<HttpReply> SignInGuard::reserve(const Limit& limit, qint64 at, const QString& what)
{
    const SignInLimits::Verdict verdict = limits_.reserve(limit.key, limit.allowance, at);
    if (verdict.granted) {
        return std::nullopt;
    }
    if (verdict.newlyRefused) {
        ServerLog::line(QStringLiteral("締め出し %1").arg(limit.shown));
    }
    HttpReply r = ServerReplies::refusal(
        429, QStringLiteral("%1の間違いが続いたため、%2秒間サインインできません")
                 .arg(what, QString::number(verdict.retryAfterSeconds)));
    r.headers.append(
        qMakePair(QByteArray("Retry-After"), QByteArray::number(verdict.retryAfterSeconds)));
    return r;
}

// The timer runs on the event loop's thread.
HttpReply SignInGuard::wrongAnswer(const HttpResponder& respond, const QString& why)
{
    const HttpReply late = ServerReplies::refusal(401, why);
    QObject* loop = loop_;
    QMetaObject::invokeMethod(loop, [loop, late, respond] {
        QTimer::singleShot(WrongCodeDelayMs, loop, [late, respond] { respond(late); });
    });
    return ServerReplies::pending();
}

QPair<QByteArray, QByteArray> SignInGuard::deviceCookie(const Limit& limit) const
{
    return cookie(deviceCookieName(),
                  limit.deviceCookie.isEmpty() ? SignInCodes::newDeviceCookie(deviceKey_)
                                               : limit.deviceCookie,
                  DeviceCookieSeconds);
}

QPair<QByteArray, QByteArray> SignInGuard::cookie(const char* name, const QByteArray& id,
                                                  qint64 maxAgeSeconds) const
{
    return ServerReplies::cookie(name, id, maxAgeSeconds, secure_);
}

void SignInGuard::setDeviceKey(const QByteArray& key)
{
    deviceKey_ = key;
    const QByteArray suffix =
        '_' + QCryptographicHash::hash("cookie names\n" + key, QCryptographicHash::Sha256)
                  .toHex()
                  .left(8);
    sessionName_ = Requests::CookieName + suffix;
    teacherName_ = Requests::TeacherCookieName + suffix;
    deviceName_ = Requests::DeviceCookieName + suffix;
}
