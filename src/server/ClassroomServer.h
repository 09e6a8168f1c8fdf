#pragma once

#include "server/HttpServer.h"
#include "server/LearnerSessions.h"
#include "server/PreviewRoutes.h"
#include "server/ReportCache.h"
#include "server/Requests.h"

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

    // Wrong codes from one address, or starting alike, before they are
    // refused for a while.
    static constexpr int WrongCodesAllowed = 10;
    static constexpr int CodePrefixLength = 4;
    static constexpr qint64 LockOutMs = 60000;
    static constexpr int WrongCodeDelayMs = 1000;
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
    Reply route(const HttpRequest& request, const HttpResponder& respond);
    Reply staticFile(const QString& path) const;
    Reply sound(const QString& name) const;
    Reply api(const QString& path, const HttpRequest& request, const HttpResponder& respond);
    // Runs `work` on a worker with its store; its reply, unless it answers
    // later still, goes out from there. 503 when too many wait.
    Reply later(Workers& workers, const HttpResponder& respond, std::function<Reply(Store&)> work);
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
    QStringList lockOutKeys(const HttpRequest& request, const QString& code) const;
    bool lockedOut(const QStringList& keys, qint64 now);
    // A wrong code or password: counted for the lock-out, answered late.
    Reply wrongAnswer(const QStringList& keys, qint64 at, const HttpResponder& respond,
                      const QString& why);
    // A session cookie of `name`; an empty id ends it. `lasting`: it
    // outlives the browser (the teacher's); else it goes when the browser
    // closes.
    QPair<QByteArray, QByteArray> sessionCookie(const char* name, const QByteArray& id,
                                                bool lasting = true) const;

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
    // Wrong sign-in codes by remote address: their times, and until when
    // the address is refused.
    struct WrongCodes {
        QList<qint64> times;
        qint64 refusedUntil = 0;
    };
    QHash<QString, WrongCodes> wrongCodes_;
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
    std::atomic<qint64> signOutAfterMs_{DefaultSignOutAfter * 60 * qint64(1000)};
    QTimer* sweep_ = nullptr;
    // The latest answers, read again only when the statements change.
    QString answersFor_;
    QJsonArray answers_;
};
