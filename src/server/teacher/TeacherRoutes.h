#pragma once

#include "server/http/HttpRoutes.h"
#include "server/http/HttpServer.h"
#include "server/learner/StoreCalls.h"
#include "server/teacher/ClassAccess.h"
#include "server/teacher/ClassFits.h"
#include "server/teacher/ClassHistories.h"
#include "server/teacher/ClassLearners.h"
#include "server/teacher/ClassRounds.h"
#include "server/teacher/PreviewRoutes.h"
#include "server/teacher/ReportCache.h"
#include "server/teacher/TeacherLive.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class LearnerRoutes;
class SignInGuard;
class Store;
class TextMeasure;

// The teacher's requests: sign-in with the teacher's password, the class's
// learners and their codes, the live page, the class report, the series and
// the editor. Every handler runs on a store worker; who may call each is in
// the table, and the server checks the teacher's session before a handler
// runs.
class TeacherRoutes
{
public:
    struct Setup {
        QString workDir;
        QString databaseUrl; // as Store::open takes it: the report opens its own
        const TextMeasure* measure = nullptr;
        SignInGuard* guard = nullptr;
        LearnerRoutes* learners = nullptr;
    };
    TeacherRoutes(Setup setup, StoreCalls::Desks desks);

    // The teacher's session lasts 12 hours.
    static constexpr qint64 SessionMs = 12 * 3600 * qint64(1000);

    // A request with its teacher session's hash (for a teacher's route).
    struct Call {
        const HttpRequest& request;
        const HttpResponder& respond;
        QStringView path;
        QByteArray sessionHash;
        QString teacher; // whose session it is
    };
    using Handler = HttpReply (TeacherRoutes::*)(Store&, const Call&);
    static const HttpRoutes::Table<Handler>& routes();

private:
    HttpReply signIn(Store& store, const Call& call);
    HttpReply signOut(Store& store, const Call& call);
    HttpReply classes(Store& store, const Call& call);
    HttpReply classSeries(Store& store, const Call& call);
    // A series hidden from one class or shown, and its 期限 (TeacherAssign.cpp).
    HttpReply chooseSeries(Store& store, const Call& call);
    // The administrator's alone: a class, a teacher (TeacherAssign.cpp).
    HttpReply addClass(Store& store, const Call& call);
    HttpReply addTeacher(Store& store, const Call& call);
    HttpReply state(Store& store, const Call& call);
    HttpReply cards(Store& store, const Call& call);
    HttpReply live(Store& store, const Call& call);
    HttpReply addLearner(Store& store, const Call& call);
    HttpReply newCode(Store& store, const Call& call);
    HttpReply removeLearner(Store& store, const Call& call);
    HttpReply signOutLearner(Store& store, const Call& call);
    // The learner a request names, in a class the teacher sees.
    static std::optional<Store::Learner> learnerNamed(Store& store, const Call& call,
                                                      HttpReply* refused);
    static HttpReply madeCode(const QString& name, const ClassLearners::Made& made);
    HttpReply reportFile(Store& store, const Call& call);
    HttpReply learnerRecord(Store& store, const Call& call);
    HttpReply seriesList(Store& store, const Call& call);
    HttpReply seriesText(Store& store, const Call& call);
    HttpReply seriesDownload(Store& store, const Call& call);
    HttpReply seriesChange(Store& store, const Call& call);
    HttpReply previewPage(Store& store, const Call& call);
    HttpReply previewVerb(Store& store, const Call& call);
    HttpReply parse(Store& store, const Call& call);
    HttpReply compose(Store& store, const Call& call);
    HttpReply preview(Store& store, const Call& call);
    HttpReply fit(Store& store, const Call& call);
    // みんなで解く (RoundRoutes.cpp).
    HttpReply roundStart(Store& store, const Call& call);
    HttpReply roundStep(Store& store, const Call& call);
    HttpReply roundView(Store& store, const Call& call);
    HttpReply roundOf(Store& store, qint64 classId);
    // 結果 of the class's rounds (RoundReport.cpp).
    HttpReply roundReport(Store& store, const Call& call);
    HttpReply roundReportOf(Store& store, qint64 classId, const Store::PastRound& round);

    Setup setup_;
    StoreCalls::Desks desks_;
    ReportCache report_;
    // What the class answered, for the series' ended histories.
    ClassHistories histories_;
    // The editor's preview board of each teacher session.
    TeacherPreviews previews_;
    ClassLearners learners_;
    TeacherLive live_;
    ClassFits fits_;
    ClassRounds rounds_;
};
