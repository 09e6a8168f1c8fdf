#pragma once

#include "server/LearnerScreen.h"
#include "server/Requests.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QTcpSocket;
class Store;
class TextMeasure;

// The classroom's web server: the page's own files, the sounds, sign-in,
// and the JSON requests that drive each learner's screen. Runs on the
// event loop's thread; nothing is shared between threads.
class ClassroomServer : public QAbstractHttpServer
{
public:
    ClassroomServer(QString workDir, Store& store, const TextMeasure& measure, bool secure);
    ~ClassroomServer() override;

    // Stores what every learner's open series would store on leaving.
    void leaveAll();

    // Wrong codes from one address before it is refused for a while.
    static constexpr int WrongCodesAllowed = 10;
    static constexpr qint64 LockOutMs = 60000;
    static constexpr int WrongCodeDelayMs = 1000;
    static constexpr qint64 SessionMs = 12 * 3600 * qint64(1000);

    struct Reply {
        int status = 200;
        QByteArray type = "application/json; charset=utf-8";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
    };

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Reply route(const QHttpServerRequest& request, QTcpSocket* socket);
    Reply staticFile(const QString& path) const;
    Reply sound(const QString& name) const;
    Reply api(const QString& path, const QHttpServerRequest& request, QTcpSocket* socket);
    Reply signIn(const QHttpServerRequest& request, QTcpSocket* socket);
    Reply signOut(const QHttpServerRequest& request);
    Reply act(const QString& path, LearnerScreen& screen, const QByteArray& body);
    // The session's learner, if any; `failure` set when the store failed.
    std::optional<QString> learnerOf(const QHttpServerRequest& request, QString* failure);
    LearnerScreen& screenOf(const QString& learner);
    bool lockedOut(const QString& address, qint64 now);
    // A wrong code or password: counted for the lock-out, answered late.
    Reply wrongAnswer(const QString& address, qint64 at, QTcpSocket* socket, const QString& why);
    // A session cookie of `name`; an empty id ends it.
    QPair<QByteArray, QByteArray> sessionCookie(const char* name, const QByteArray& id) const;

    // The teacher's page and requests (TeacherRoutes.cpp).
    Reply teacher(const QString& path, const QHttpServerRequest& request, QTcpSocket* socket);
    Reply teacherSignIn(const QHttpServerRequest& request, QTcpSocket* socket);
    Reply teacherAct(const QString& path, const QByteArray& body, const QByteArray& sessionHash);
    Reply teacherState(const QByteArray& sessionHash);
    Reply teacherFile(const QString& path);
    void forgetLearner(const QString& learner);
    void send(QTcpSocket* socket, const Reply& reply) const;

    QString workDir_;
    QString homePage_; // of the learners' accounts in the statements
    Store& store_;
    const TextMeasure& measure_;
    bool secure_;
    std::array<QString, 4> soundFiles_;
    QHash<QString, std::shared_ptr<LearnerScreen>> screens_;
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
