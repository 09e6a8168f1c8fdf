#include "server/ClassroomServer.h"

#include "files/FileLookup.h"
#include "record/HomePage.h"
#include "server/http/ServerReplies.h"
#include "server/learner/Requests.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"
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

using Access = HttpRoutes::Access;
using ServerReplies::refusal;
using ServerReplies::unavailable;

// The page's own files: a fixed table, so no path from a request ever
// reaches the file system.
struct PageFile {
    const char16_t* path;
    const char* resource;
    const char* type;
};
constexpr std::array<PageFile, 27> PageFiles = {{
    {u"/", ":/page/index.html", "text/html; charset=utf-8"},
    // The learner's page, its scripts in the order index.html loads them.
    {u"/page.js", ":/page/page.js", "text/javascript; charset=utf-8"},
    {u"/page-foresee.js", ":/page/page-foresee.js", "text/javascript; charset=utf-8"},
    {u"/page-draw.js", ":/page/page-draw.js", "text/javascript; charset=utf-8"},
    {u"/page-moves.js", ":/page/page-moves.js", "text/javascript; charset=utf-8"},
    {u"/record.js", ":/page/record.js", "text/javascript; charset=utf-8"},
    {u"/page-record.js", ":/page/page-record.js", "text/javascript; charset=utf-8"},
    {u"/page-round.js", ":/page/page-round.js", "text/javascript; charset=utf-8"},
    {u"/page.css", ":/page/page.css", "text/css; charset=utf-8"},
    {u"/title.png", ":/page/title.png", "image/png"},
    {u"/teacher", ":/page/teacher.html", "text/html; charset=utf-8"},
    {u"/teacher/teacher.js", ":/page/teacher.js", "text/javascript; charset=utf-8"},
    {u"/teacher/teacher.css", ":/page/teacher.css", "text/css; charset=utf-8"},
    {u"/teacher/series.js", ":/page/series.js", "text/javascript; charset=utf-8"},
    {u"/teacher/record.js", ":/page/record.js", "text/javascript; charset=utf-8"},
    {u"/teacher/teacher-assign.js", ":/page/teacher-assign.js", "text/javascript; charset=utf-8"},
    {u"/teacher/teacher-admin.js", ":/page/teacher-admin.js", "text/javascript; charset=utf-8"},
    {u"/teacher/teacher-fit.js", ":/page/teacher-fit.js", "text/javascript; charset=utf-8"},
    {u"/teacher/teacher-round.js", ":/page/teacher-round.js", "text/javascript; charset=utf-8"},
    // The projector's page of みんなで解く.
    {u"/teacher/round", ":/page/round.html", "text/html; charset=utf-8"},
    {u"/teacher/round.js", ":/page/round.js", "text/javascript; charset=utf-8"},
    {u"/teacher/round.css", ":/page/round.css", "text/css; charset=utf-8"},
    // The editor's page asks for the teacher's session itself.
    {u"/teacher/editor", ":/page/editor.html", "text/html; charset=utf-8"},
    {u"/teacher/editor.js", ":/page/editor.js", "text/javascript; charset=utf-8"},
    {u"/teacher/editor-form.js", ":/page/editor-form.js", "text/javascript; charset=utf-8"},
    {u"/teacher/editor.css", ":/page/editor.css", "text/css; charset=utf-8"},
    {u"/teacher/call.js", ":/page/call.js", "text/javascript; charset=utf-8"},
}};

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

ClassroomServer::ClassroomServer(QString workDir, const QString& databaseUrl,
                                 const TextMeasure& measure, bool secure)
    : workDir_(std::move(workDir)), stores_(workDir_, databaseUrl), guard_(this, secure),
      learners_({workDir_, HomePage::read(workDir_).url, &measure, &stores_, &guard_},
                {storeReads_, storeWork_, hashing_}),
      teacher_({workDir_, databaseUrl, &measure, &guard_, &learners_},
               {storeReads_, storeWork_, hashing_})
{
    for (const SoundCue cue : AllSoundCues) {
        soundFiles_.at(static_cast<std::size_t>(cue)) =
            QString::fromLatin1(SoundCues::fileName(cue));
    }
    sweep_ = new QTimer(this);
    sweep_->setInterval(SweepMs);
    connect(sweep_, &QTimer::timeout, this, [this] { learners_.endIdleSessions(); });
    sweep_->start();
}

ClassroomServer::~ClassroomServer() = default;

const HttpRoutes::Table<ClassroomServer::PageHandler>& ClassroomServer::pageRoutes()
{
    static const HttpRoutes::Table<PageHandler> table = [] {
        HttpRoutes::Table<PageHandler> t;
        for (const PageFile& f : PageFiles) {
            t.append({"GET", QStringView(f.path), Access::Anyone, &ClassroomServer::pageFile});
        }
        t.append({"GET", u"/sounds/*", Access::Anyone, &ClassroomServer::sound});
        return t;
    }();
    return table;
}

void ClassroomServer::handle(const HttpRequest& request, const HttpResponder& respond)
{
    if (std::optional<HttpReply> refused = misdirected(request)) {
        respond(std::move(*refused));
        return;
    }
    HttpReply reply = route(request, respond);
    if (reply.status != 0) {
        respond(std::move(reply));
    }
}

// Before anything else: a request for another name (a page elsewhere whose
// name was made to point here, as DNS rebinding does) gets nothing of this
// server, not even its page.
std::optional<HttpReply> ClassroomServer::misdirected(const HttpRequest& request)
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
    HttpReply r;
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

// The route a request takes, from the page's table, the teacher's or the
// learners'; then who may call it: a state-changing request only from the
// server's own page, a learner's route only with a learner's session, the
// teacher's only with the teacher's.
HttpReply ClassroomServer::route(const HttpRequest& request, const HttpResponder& respond)
{
    // The path as sent: percent-escapes are never decoded into a file name.
    const QString path = QString::fromLatin1(request.path());
    const bool post = request.method == "POST";
    if (!post && request.method != "GET") {
        return refusal(405, QStringLiteral("この方法では使えません"));
    }
    bool known = false;
    const auto* page = HttpRoutes::find(pageRoutes(), request.method, path, &known);
    const auto* teacher =
        page ? nullptr : HttpRoutes::find(TeacherRoutes::routes(), request.method, path, &known);
    const auto* learner =
        page || teacher ? nullptr
                        : HttpRoutes::find(LearnerRoutes::routes(), request.method, path, &known);
    if (!page && !teacher && !learner) {
        return known ? refusal(405, QStringLiteral("この方法では使えません"))
                     : refusal(404, QStringLiteral("見つかりません"));
    }
    if (post && !Requests::sameOrigin(request.value("Host"), request.value("Origin"),
                                      request.value("Referer"))) {
        return refusal(403, QStringLiteral("このページからの要求ではありません"));
    }
    if (page) {
        return (this->*page->handler)(path);
    }
    return teacher ? toTeacher(*teacher, request, respond, path)
                   : toLearners(*learner, request, respond, path);
}

HttpReply ClassroomServer::toLearners(const HttpRoutes::Route<LearnerRoutes::Handler>& route,
                                      const HttpRequest& request, const HttpResponder& respond,
                                      QStringView path)
{
    QByteArray hash;
    if (route.access == Access::LearnerSession) {
        const QByteArray id =
            Requests::sessionCookie(request.value("Cookie"), guard_.sessionCookieName());
        if (id.isEmpty()) {
            return refusal(401, QStringLiteral("サインインしてください"));
        }
        hash = SignInCodes::sessionHash(id);
    }
    return (learners_.*route.handler)({request, respond, path, hash});
}

// Every teacher's request runs on a store worker: what reads apart from
// what writes. Its session is checked there, in the store.
HttpReply ClassroomServer::toTeacher(const HttpRoutes::Route<TeacherRoutes::Handler>& route,
                                     const HttpRequest& request, const HttpResponder& respond,
                                     QStringView path)
{
    return StoreCalls::later(
        request.method == "GET" ? storeReads_ : storeWork_, respond,
        [this, handler = route.handler, access = route.access, request, respond,
         path = path.toString()](Store& store) {
            QByteArray hash;
            std::optional<QString> teacher;
            if (access == Access::TeacherSession) {
                const QByteArray id =
                    Requests::sessionCookie(request.value("Cookie"), guard_.teacherCookieName());
                hash = SignInCodes::sessionHash(id);
                QString failed;
                teacher = id.isEmpty() ? std::nullopt : store.teacherSession(hash, now(), &failed);
                if (!failed.isEmpty()) {
                    return unavailable(
                        QStringLiteral("記録を読めません。しばらくしてからもう一度試してください"));
                }
                if (!teacher) {
                    return refusal(401, QStringLiteral("先生の名前とパスワードでサインインして"
                                                       "ください"));
                }
            }
            return (teacher_.*handler)(store,
                                       {request, respond, path, hash, teacher.value_or(QString())});
        });
}

HttpReply ClassroomServer::pageFile(QStringView path) const
{
    for (const PageFile& f : PageFiles) {
        if (path == QStringView(f.path)) {
            QFile file(QString::fromLatin1(f.resource));
            file.open(QIODevice::ReadOnly);
            HttpReply r;
            r.type = f.type;
            r.body = file.readAll();
            return r;
        }
    }
    return refusal(404, QStringLiteral("見つかりません"));
}

HttpReply ClassroomServer::sound(QStringView path) const
{
    const QStringView name = path.mid(8);
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
        HttpReply r;
        r.type = "audio/wav";
        r.body = file.readAll();
        r.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=3600")));
        return r;
    }
    return refusal(404, QStringLiteral("見つかりません"));
}
