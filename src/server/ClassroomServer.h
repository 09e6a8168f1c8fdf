#pragma once

#include "server/http/HttpRoutes.h"
#include "server/http/HttpServer.h"
#include "server/http/ServerNames.h"
#include "server/learner/LearnerRoutes.h"
#include "server/learner/SignInGuard.h"
#include "server/store/Workers.h"
#include "server/teacher/TeacherRoutes.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <optional>

class TextMeasure;

// The classroom's web server, the rooms wired into one: the page's own
// files and the sounds, the learners' routes (LearnerRoutes) and the
// teacher's (TeacherRoutes). Each request goes through one table of routes
// per area; who may call a route is checked here, once, before its handler
// runs. Runs on the event loop's thread; the store's work runs on workers,
// each with its own connection to the store.
class ClassroomServer : public QObject
{
public:
    // `databaseUrl` as Store::open takes it: the workers open their own.
    ClassroomServer(QString workDir, const QString& databaseUrl, const TextMeasure& measure,
                    bool secure);
    ~ClassroomServer() override;

    // Behind a proxy, the address whose X-Forwarded-For names the learner.
    void trustProxy(const QHostAddress& proxy) { guard_.trustProxy(proxy); }
    // The names a request's Host may give; any other is refused (421).
    void setNames(ServerNames names) { names_ = std::move(names); }
    // The store's secret that signs device cookies (Store::deviceKey).
    void setDeviceKey(const QByteArray& key) { guard_.setDeviceKey(key); }
    // A learner's session ends after `minutes` without an action.
    void setSignOutAfter(int minutes) { learners_.setSignOutAfter(minutes); }
    // How often sessions past their time are ended and logged.
    static constexpr int SweepMs = 60000;

    // Answers one request, at once or (a wrong code) a little later.
    void handle(const HttpRequest& request, const HttpResponder& respond);

private:
    // The page's own files and the sounds, which anyone may ask for.
    using PageHandler = HttpReply (ClassroomServer::*)(QStringView path) const;
    static const HttpRoutes::Table<PageHandler>& pageRoutes();

    std::optional<HttpReply> misdirected(const HttpRequest& request);
    HttpReply route(const HttpRequest& request, const HttpResponder& respond);
    HttpReply toLearners(const HttpRoutes::Route<LearnerRoutes::Handler>& route,
                         const HttpRequest& request, const HttpResponder& respond,
                         QStringView path);
    HttpReply toTeacher(const HttpRoutes::Route<TeacherRoutes::Handler>& route,
                        const HttpRequest& request, const HttpResponder& respond, QStringView path);
    HttpReply pageFile(QStringView path) const;
    HttpReply sound(QStringView path) const;

    QString workDir_;
    std::array<QString, 4> soundFiles_;
    StoreThreads stores_;
    Workers storeReads_{stores_, 2, 500, false};
    Workers storeWork_{stores_, 2, 500, false};
    Workers hashing_{stores_, 2, 200, true};
    ServerNames names_;
    SignInGuard guard_;
    LearnerRoutes learners_;
    TeacherRoutes teacher_;
    QTimer* sweep_ = nullptr;
};
