#pragma once

#include "server/ClassHistories.h"
#include "server/HttpServer.h"
#include "server/LearnerSessions.h"
#include "server/PreviewRoutes.h"
#include "server/ReportCache.h"
#include "server/Requests.h"
#include "server/ServerNames.h"
#include "server/SignInLimits.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class Store;
class TextMeasure;

// The classroom's web server: the page's own files, the sounds, sign-in,
// and the JSON requests that drive each learner's screen. Runs on the
// event loop's thread; the learners' requests run on worker threads
// (LearnerSessions), each with its own connection to the store.
class ClassroomServer : public QObject
{
public:
    // `databaseUrl` as Store::open takes it: the workers open their own.
    ClassroomServer(QString workDir, const QString& databaseUrl, const TextMeasure& measure,
                    bool secure);
    ~ClassroomServer() override;

    // Behind a proxy, the address whose X-Forwarded-For names the learner.
    void trustProxy(const QHostAddress& proxy) { trustedProxy_ = proxy; }
    // The names a request's Host may give; any other is refused (421).
    void setNames(ServerNames names) { names_ = std::move(names); }
    // The store's secret that signs device cookies (Store::deviceKey).
    void setDeviceKey(const QByteArray& key) { deviceKey_ = key; }

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
    // The teacher's session; a learner's lasts while they act (setSignOutAfter).
    static constexpr qint64 SessionMs = 12 * 3600 * qint64(1000);

    // A learner's session ends after `minutes` without an action.
    void setSignOutAfter(int minutes);
    static constexpr int DefaultSignOutAfter = 30;
    // How often sessions past their time are ended and logged.
    static constexpr int SweepMs = 60000;

    using Reply = HttpReply;

    // Answers one request, at once or (a wrong code) a little later.
    void handle(const HttpRequest& request, const HttpResponder& respond);

private:
    std::optional<Reply> misdirected(const HttpRequest& request);
    Reply route(const HttpRequest& request, const HttpResponder& respond);
    Reply staticFile(const QString& path) const;
    Reply sound(const QString& name) const;
    Reply api(const QString& path, const HttpRequest& request, const HttpResponder& respond);
    // Runs `work` on a worker with its store; its reply, unless it answers
    // later still, goes out from there. 503 when too many wait or the store
    // cannot be opened, after `notRun` (when given).
    Reply later(Workers& workers, const HttpResponder& respond, std::function<Reply(Store&)> work,
                const std::function<void()>& notRun = {});
    Reply signIn(const HttpRequest& request, const HttpResponder& respond);
    Reply signOut(Store& store, const QByteArray& hash);
    // The session the browser still had, ended before another sign-in.
    void endEarlierSession(Store& store, const QByteArray& cookieHeader);
    void endIdleSessions();
    void toLearner(const QString& learner, const QByteArray& hash,
                   std::optional<Requests::Kind> kind, const QByteArray& body,
                   const HttpResponder& respond);
    std::optional<QString> knownLearner(const QByteArray& hash);
    void rememberSession(const QByteArray& hash, const QString& learner);
    void forgetSession(const QByteArray& hash);
    QString clientAddress(const HttpRequest& request) const;
    // What a sign-in counts against: the device cookie it brings, when
    // that is good, else its address; the teacher's apart.
    struct SignInLimit {
        QString key;
        int allowance = 0;
        QString shown; // in the log: never a code or a cookie
        QByteArray deviceCookie;
    };
    SignInLimit signInLimit(const HttpRequest& request, bool teacher) const;
    // Takes a check's slot at `at`: none, or the 429 to answer.
    std::optional<Reply> overLimit(const SignInLimit& limit, qint64 at, const QString& what);
    // A wrong code or password, counted already: answered late.
    Reply wrongAnswer(const HttpResponder& respond, const QString& why);
    // The device cookie for a right sign-in: the one it brought, or a new one.
    QPair<QByteArray, QByteArray> deviceCookie(const SignInLimit& limit) const;
    // A cookie of `name`; an empty id ends it. It outlives the browser for
    // `maxAgeSeconds` (the teacher's session, a device), or with 0 goes
    // when the browser closes (a learner's session).
    QPair<QByteArray, QByteArray> sessionCookie(const char* name, const QByteArray& id,
                                                qint64 maxAgeSeconds = SessionMs / 1000) const;

    // The teacher's page and requests (TeacherRoutes.cpp).
    Reply teacher(Store& store, const QString& path, const HttpRequest& request,
                  const HttpResponder& respond);
    // The teacher's requests once the session is known to be the teacher's.
    Reply signedInTeacher(Store& store, const QString& path, const HttpRequest& request,
                          const HttpResponder& respond, const QByteArray& hash);
    Reply teacherSignIn(Store& store, const HttpRequest& request, const HttpResponder& respond);
    Reply teacherAct(Store& store, const QString& path, const QByteArray& body,
                     const QByteArray& sessionHash);
    Reply teacherState(Store& store, const QByteArray& sessionHash);
    Reply teacherFile(const QString& path, const HttpResponder& respond);
    Reply teacherCards(const HttpRequest& request, const QByteArray& sessionHash);
    void forgetLearner(const QString& learner);
    // The live page: who is signed in, on what, and the latest answers
    // (TeacherLive.cpp).
    Reply teacherLive(Store& store);
    QJsonArray latestAnswers(Store& store, const QString& state,
                             const QHash<QString, QString>& titles);
    Reply signOutLearner(Store& store, const QString& learner);

    QString workDir_;
    QString homePage_; // of the learners' accounts in the statements
    const TextMeasure& measure_;
    bool secure_;
    std::array<QString, 4> soundFiles_;
    QHostAddress trustedProxy_;
    StoreThreads stores_;
    LearnerSessions learners_;
    ReportCache report_;
    // The store's other work: what only reads (the teacher's pages, a
    // session looked up) apart from what writes (sign-outs, the teacher's
    // changes), so that a write waiting for another program's lock never
    // holds up a read; and hashing, which takes a core for a while and so
    // runs at a lower priority.
    Workers storeReads_{stores_, 2, 500, false};
    Workers storeWork_{stores_, 2, 500, false};
    Workers hashing_{stores_, 2, 200, true};
    // Guards the tables below, which workers and the event loop share.
    std::mutex shared_;
    ServerNames names_;
    QByteArray deviceKey_;
    SignInLimits limits_;
    // Sessions seen lately, so that most requests need no look-up in the
    // store; a session removed by another server goes within a minute.
    struct KnownSession {
        QString learner;
        qint64 seenMs = 0;
    };
    QHash<QByteArray, KnownSession> knownSessions_;
    static constexpr qint64 SessionRecheckMs = 60000;
    // The codes made in each teacher session, for its printed sheet; never
    // stored, as only their hashes are.
    QHash<QByteArray, QList<QPair<QString, QString>>> madeCodes_;
    // The editor's routes and each teacher session's preview board.
    TeacherPreviews previews_{workDir_, measure_};
    // What the class answered, for the series' ended histories.
    ClassHistories histories_{workDir_};
    std::atomic<qint64> signOutAfterMs_{DefaultSignOutAfter * 60 * qint64(1000)};
    QTimer* sweep_ = nullptr;
    // The latest answers, read again only when the statements change.
    QString answersFor_;
    QJsonArray answers_;
};
