// The browser's 学習の記録 and the desktop's from one answer log: the
// desktop reads the log file, the server the same statements from its
// store, and the page is given the numbers the desktop's dialog shows.
#include "server/learner/ProgressRoute.h"

#include "record/HomePage.h"
#include "record/LearnerRecord.h"
#include "record/ProblemId.h"
#include "record/Statements.h"
#include "series/SeriesLoader.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace
{

constexpr qint64 Day = 86400000;

// Answers over seven weeks to two listed series and one no longer listed:
// some wrong at first and practised again the next minute, some due again.
QList<Answer> answerLog(const QString& folder, qint64 now)
{
    QList<Answer> log;
    int n = 0;
    for (const QString& series : {QStringLiteral("Bio1.TXT"), QStringLiteral("Bio2.TXT")}) {
        const QList<Problem> problems = SeriesLoader::load(folder + u'/' + series).usable;
        const QStringList keys = ProblemIds::keysOf(problems);
        for (qsizetype i = 0; i < std::min<qsizetype>(problems.size(), 6); ++i) {
            for (const qint64 daysAgo : {50, 29, 12, 5}) {
                if (i >= 4 && daysAgo < 50) {
                    break; // seen once, long ago: due now
                }
                Answer a = Statements::about(problems.at(i), series, keys.at(i));
                a.learner = a.learnerName = QStringLiteral("aoi");
                a.placed = a.correct;
                const bool wrong = (++n % 3) == 0;
                if (wrong) {
                    a.placed[0] = a.correct.at(0) % static_cast<int>(a.groups.size()) + 1;
                }
                a.success = !wrong;
                a.right = static_cast<int>(a.terms.size()) - (wrong ? 1 : 0);
                a.timestampMs = now - daysAgo * Day - (40 - n) * 60000;
                a.id = QUuid::createUuid();
                log.append(a);
                if (wrong) { // put right a minute later: practice
                    a.placed = a.correct;
                    a.success = true;
                    a.right = static_cast<int>(a.terms.size());
                    a.attempt = 2;
                    a.timestampMs += 60000;
                    a.id = QUuid::createUuid();
                    log.append(a);
                }
            }
        }
    }
    Answer gone = log.first();
    gone.series = QStringLiteral("Old.TXT");
    gone.id = QUuid::createUuid();
    gone.timestampMs -= 30000;
    log.append(gone);
    // The store gives a learner's statements by their time, the log in the
    // order written: the same order when the clock goes forwards.
    std::sort(log.begin(), log.end(),
              [](const Answer& a, const Answer& b) { return a.timestampMs < b.timestampMs; });
    return log;
}

// Each part of the record as lines, from the desktop's dialog's numbers…
QStringList linesOf(const Progress& p)
{
    QStringList out{QStringLiteral("%1 %2 [%3]").arg(p.learner).arg(p.answers).arg(p.setAside)};
    for (const SeriesProgress& s : p.series) {
        out.append(QStringLiteral("series %1 %2 %3/%4 %5% %6 %7")
                       .arg(s.series, s.title)
                       .arg(s.right)
                       .arg(s.seen)
                       .arg(s.rightPercent())
                       .arg(s.dueToday)
                       .arg(s.dueThisWeek));
    }
    for (const DayCount& d : p.days) {
        out.append(QStringLiteral("day %1 %2").arg(d.day.toString(Qt::ISODate)).arg(d.answers));
    }
    for (const WeekRate& w : p.weeks) {
        out.append(QStringLiteral("week %1 %2/%3 %4%")
                       .arg(w.monday.toString(Qt::ISODate))
                       .arg(w.right)
                       .arg(w.reviews)
                       .arg(w.rightPercent()));
    }
    for (const TermRate& t : p.terms) {
        out.append(QStringLiteral("term %1 %2 %3 %4/%5 %6%")
                       .arg(t.heading, t.term, t.group)
                       .arg(t.right)
                       .arg(t.firstChecks)
                       .arg(t.rightPercent()));
    }
    return out << describeDays(p.days) << describeWeeks(p.weeks);
}

// …and from what the page is given.
QStringList linesOf(const QJsonObject& o)
{
    const auto text = [](const QJsonValue& v) { return v.toVariant().toString(); };
    const auto rows = [&o](const char* key) { return o.value(QLatin1String(key)).toArray(); };
    QStringList out{QStringLiteral("%1 %2 [%3]")
                        .arg(text(o["learner"]), text(o["answers"]), text(o["setAside"]))};
    for (const QJsonValue v : rows("series")) {
        const QJsonObject s = v.toObject();
        out.append(QStringLiteral("series %1 %2 %3/%4 %5% %6 %7")
                       .arg(text(s["series"]), text(s["title"]), text(s["right"]), text(s["seen"]),
                            text(s["rightPercent"]), text(s["dueToday"]), text(s["dueThisWeek"])));
    }
    for (const QJsonValue v : rows("days")) {
        out.append(QStringLiteral("day %1 %2").arg(text(v["day"]), text(v["answers"])));
    }
    for (const QJsonValue v : rows("weeks")) {
        out.append(QStringLiteral("week %1 %2/%3 %4%")
                       .arg(text(v["monday"]), text(v["right"]), text(v["reviews"]),
                            text(v["rightPercent"])));
    }
    for (const QJsonValue v : rows("terms")) {
        out.append(QStringLiteral("term %1 %2 %3 %4/%5 %6%")
                       .arg(text(v["heading"]), text(v["term"]), text(v["group"]), text(v["right"]),
                            text(v["firstChecks"]), text(v["rightPercent"])));
    }
    return out << text(o["daysText"]) << text(o["weeksText"]);
}

} // namespace

TEST(ProgressRoute, GivesThePageTheDesktopsNumbersForTheSameAnswerLog)
{
    Harness desk;
    const QString folder = desk.dir.path();
    const QDir data(TestFiles::sourceDir() + QStringLiteral("/data"));
    for (const QString& name : data.entryList(QDir::Files)) {
        QFile::copy(data.filePath(name), QDir(folder).filePath(name));
    }
    const QList<Answer> log = answerLog(folder, QDateTime::currentMSecsSinceEpoch());

    LearnerRecord record(folder, QStringLiteral("aoi"), QStringLiteral("aoi"));
    ASSERT_TRUE(QDir(folder).mkpath(QStringLiteral("records")));
    QByteArray lines;
    Store store;
    ASSERT_EQ(store.open(folder, {}), QString());
    ASSERT_EQ(store.addLearner(QStringLiteral("aoi"), QStringLiteral("ABCDEFGH")), QString());
    for (const Answer& a : log) {
        lines += Statements::line(a) + '\n';
        ASSERT_EQ(store.appendStatement(QStringLiteral("aoi"), a.id.toString(QUuid::WithoutBraces),
                                        a.problemId(), a.timestampMs, Statements::line(a)),
                  QString());
    }
    TestFiles::write(record.path(), lines);

    desk.form.get().record = &record;
    desk.session->start();
    desk.session->showProgress();
    ASSERT_EQ(desk.dialogs.progressShown.size(), 1);
    const QStringList desktop = linesOf(desk.dialogs.progressShown.first());

    const QByteArray hash = SignInCodes::sessionHash(SignInCodes::newSessionId());
    ASSERT_EQ(
        store.addSession(hash, QStringLiteral("aoi"), QDateTime::currentMSecsSinceEpoch() + Day),
        QString());
    FakeMeasure measure;
    const ProgressRoute::Folder served{folder, HomePage::read(folder).url, &measure};
    const HttpReply r = ProgressRoute::reply(store, hash, served);
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    const QStringList page = linesOf(QJsonDocument::fromJson(r.body).object());
    ASSERT_EQ(page.size(), desktop.size());
    for (qsizetype i = 0; i < page.size(); ++i) {
        EXPECT_EQ(page.at(i).toStdString(), desktop.at(i).toStdString());
    }

    // The record says something: reviews due, rates under 100 %, the
    // series no longer listed.
    const Progress& shown = desk.dialogs.progressShown.first();
    EXPECT_GT(shown.series.first().dueToday, 0);
    EXPECT_LT(shown.series.first().rightPercent(), 100);
    EXPECT_EQ(shown.series.last().series, QStringLiteral("Old.TXT"));
    EXPECT_LT(shown.terms.first().rightPercent(), 100);

    // An ended session is refused, as every other request is.
    store.removeSession(hash);
    EXPECT_EQ(ProgressRoute::reply(store, hash, served).status, 401);
}
