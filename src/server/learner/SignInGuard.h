#pragma once

#include "server/learner/Requests.h"

#include "server/http/HttpServer.h"
#include "server/http/SignInLimits.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPair>
#include <QString>

#include <optional>

// What stands before a sign-in, a learner's code or the teacher's password:
// how many checks a minute a device or an address may have (SignInLimits),
// a wrong one answered late, and the cookie a device keeps. Used from the
// event loop's thread and from workers alike.
class SignInGuard
{
public:
    // `loop`: an object of the event loop's thread, whose timers answer the
    // wrong ones late. `secure`: the cookies are sent over TLS alone.
    SignInGuard(QObject* loop, bool secure) : loop_(loop), secure_(secure) {}

    // Behind a proxy, the address whose X-Forwarded-For names the learner.
    void trustProxy(const QHostAddress& proxy) { trustedProxy_ = proxy; }
    // The store's secret that signs device cookies (Store::deviceKey). The
    // cookies' names end in an id of the store made from it, so that two
    // servers of two stores on one host (whose browsers keep cookies by
    // host, whatever the port) never sign each other out, while servers
    // sharing a store take each other's. Set before the first request.
    void setDeviceKey(const QByteArray& key);
    const char* sessionCookieName() const { return sessionName_.constData(); }
    const char* teacherCookieName() const { return teacherName_.constData(); }
    const char* deviceCookieName() const { return deviceName_.constData(); }

    // Sign-in checks a minute (SignInLimits): wrong ones and those under
    // way count. A class of 40 behind one address (a school's NAT), each
    // mistyping once or twice in the first minute of its first lesson,
    // makes up to 80 wrong codes; 100 answers them all, and at 100 a
    // minute an address needs thousands of years to find a code (see
    // docs/server.md).
    static constexpr int AddressAllowance = 100;
    // A browser that signed in before: a shared tablet's pupils take turns.
    static constexpr int DeviceAllowance = 10;
    // The teacher's password, from an address or a device, apart from the
    // learners' codes.
    static constexpr int TeacherAllowance = 10;
    static constexpr int WrongCodeDelayMs = 1000;
    // A device cookie lasts a year from the device's last sign-in.
    static constexpr qint64 DeviceCookieSeconds = 365 * 24 * 3600;

    // What a sign-in counts against: the device cookie it brings, when
    // that is good, else its address; the teacher's apart.
    struct Limit {
        QString key;
        int allowance = 0;
        QString shown; // in the log: never a code or a cookie
        QByteArray deviceCookie;
    };
    Limit limitFor(const HttpRequest& request, bool teacher) const;
    // Takes a check's slot at `at`: none, or the 429 to answer. `what`
    // names what was wrong (コード, パスワード).
    std::optional<HttpReply> reserve(const Limit& limit, qint64 at, const QString& what);
    // The check taken at `at` was no wrong answer: its slot is free again.
    void release(const Limit& limit, qint64 at) { limits_.release(limit.key, at); }
    // A wrong code or password, counted already: answered late, without
    // holding up anyone else.
    HttpReply wrongAnswer(const HttpResponder& respond, const QString& why);

    // The device cookie for a right sign-in: the one it brought, or a new one.
    QPair<QByteArray, QByteArray> deviceCookie(const Limit& limit) const;
    // A session's cookie (ServerReplies::cookie), Secure under TLS.
    QPair<QByteArray, QByteArray> cookie(const char* name, const QByteArray& id,
                                         qint64 maxAgeSeconds) const;
    bool secure() const { return secure_; }
    // The address a request came from: behind the trusted proxy, the one
    // it names.
    QString clientAddress(const HttpRequest& request) const;

private:
    QObject* loop_;
    bool secure_;
    QHostAddress trustedProxy_;
    QByteArray deviceKey_;
    SignInLimits limits_;
    QByteArray sessionName_ = Requests::CookieName;
    QByteArray teacherName_ = Requests::TeacherCookieName;
    QByteArray deviceName_ = Requests::DeviceCookieName;
};
