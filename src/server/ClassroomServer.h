#pragma once

#include "server/HttpServer.h"
#include "server/LearnerSessions.h"
#include "server/ReportCache.h"
#include "server/Requests.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
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
    ClassroomServer(QString workDir, const QString& databaseUrl, Store& store,
                    const TextMeasure& measure, bool secure);
    ~ClassroomServer() override;

    // Wrong codes from one address before it is refused for a while.
    static constexpr int WrongCodesAllowed = 10;
    static constexpr qint64 LockOutMs = 60000;
    static constexpr int WrongCodeDelayMs = 1000;
    static constexpr qint64 SessionMs = 12 * 3600 * qint64(1000);

    using Reply = HttpReply;

    // Answers one request, at once or (a wrong code) a little later.
    void handle(const HttpRequest& request, const HttpResponder& respond);

private:
    Reply route(const HttpRequest& request, const HttpResponder& respond);
    Reply staticFile(const QString& path) const;
    Reply sound(const QString& name) const;
    Reply api(const QString& path, const HttpRequest& request, const HttpResponder& respond);
    Reply signIn(const HttpRequest& request, const HttpResponder& respond);
    Reply signOut(const HttpRequest& request);
    std::optional<QString> learnerOf(const HttpRequest& request);
    bool lockedOut(const QString& address, qint64 now);
    // A wrong code or password: counted for the lock-out, answered late.
    Reply wrongAnswer(const QString& address, qint64 at, const HttpResponder& respond,
                      const QString& why);
    // A session cookie of `name`; an empty id ends it.
    QPair<QByteArray, QByteArray> sessionCookie(const char* name, const QByteArray& id) const;

    // The teacher's page and requests (TeacherRoutes.cpp).
    Reply teacher(const QString& path, const HttpRequest& request, const HttpResponder& respond);
    Reply teacherSignIn(const HttpRequest& request, const HttpResponder& respond);
    Reply teacherAct(const QString& path, const QByteArray& body, const QByteArray& sessionHash);
    Reply teacherState(const QByteArray& sessionHash);
    Reply teacherFile(const QString& path, const HttpResponder& respond);
    void forgetLearner(const QString& learner);

    QString workDir_;
    QString homePage_; // of the learners' accounts in the statements
    Store& store_;
    const TextMeasure& measure_;
    bool secure_;
    std::array<QString, 4> soundFiles_;
    StoreThreads stores_;
    LearnerSessions learners_;
    ReportCache report_;
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
};
