// Fills a classroom server's store with a made-up class for the bench's load
// client: learners with codes and open sessions, and each learner's record
// of checks as the server itself stores them.
//   made_up_store [--database URL] FOLDER LEARNERS PER_DAY DAYS
// Prints one line a learner: name, code and session id, tab-separated.
// Or the answers of a folder's logs (a made-up class's) put into the store
// of another folder, each learner's as the server would have stored them:
//   made_up_store --records LOG_FOLDER FOLDER
#include "MadeUpClass.h"
#include "record/HomePage.h"
#include "record/Statements.h"
#include "report/ClassFolder.h"
#include "server/learner/StorePorts.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QStringList>

#include <cstdio>

namespace
{

// Learners with a code and a session that lasts the bench out.
QString addLearners(Store& store, const QStringList& names)
{
    const qint64 until = QDateTime::currentMSecsSinceEpoch() + qint64(8) * 3600 * 1000;
    for (const QString& name : names) {
        const QString code = SignInCodes::newCode();
        const QByteArray session = SignInCodes::newSessionId();
        QString failed = store.addLearner(name, code);
        if (failed.isEmpty()) {
            failed = store.addSession(SignInCodes::sessionHash(session), name, until);
        }
        if (!failed.isEmpty()) {
            return failed;
        }
        std::printf("%s\t%s\t%s\n", qUtf8Printable(name), qUtf8Printable(code),
                    session.constData());
    }
    return {};
}

// One transaction a learner, so that a year of checks is written in
// seconds; then the learner's review state, kept as the server keeps it
// when the checks arrive one by one.
QString addChecks(Store& store, const QString& folder, const QStringList& names, int perDay,
                  int days)
{
    qsizetype current = -1;
    const auto finish = [&]() {
        if (current < 0) {
            return QString();
        }
        if (const QString failed = store.commit(); !failed.isEmpty()) {
            return failed;
        }
        StoreAnswers(store, names.at(current), folder, HomePage::read(folder).url);
        return QString();
    };
    const QString failed = MadeUpClass::eachCheck(
        folder, names, perDay, days, [&](qsizetype learner, const Answer& a) {
            if (learner != current) {
                if (QString done = finish(); !done.isEmpty()) {
                    return done;
                }
                if (QString begun = store.begin(); !begun.isEmpty()) {
                    return begun;
                }
                current = learner;
            }
            return store.appendStatement(names.at(learner), a.id.toString(QUuid::WithoutBraces),
                                         a.problemId(), a.timestampMs, Statements::line(a));
        });
    return failed.isEmpty() ? finish() : failed;
}

// Every answer of the logs, a learner's in one transaction.
QString addRecords(Store& store, const QString& logFolder)
{
    const ClassFolder::Read read = ClassFolder::read(logFolder);
    QStringList names;
    for (const Answer& a : read.answers) {
        if (!names.contains(a.learner)) {
            names.append(a.learner);
        }
    }
    QString failed = addLearners(store, names);
    for (const QString& name : std::as_const(names)) {
        failed = failed.isEmpty() ? store.begin() : failed;
        for (const Answer& a : read.answers) {
            if (failed.isEmpty() && a.learner == name) {
                failed = store.appendStatement(name, a.id.toString(QUuid::WithoutBraces),
                                               a.problemId(), a.timestampMs, Statements::line(a));
            }
        }
        failed = failed.isEmpty() ? store.commit() : failed;
    }
    return failed;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString url;
    if (args.size() > 2 && args.at(0) == QLatin1String("--database")) {
        url = args.at(1);
        args = args.mid(2);
    }
    if (args.size() == 3 && args.at(0) == QLatin1String("--records")) {
        Store store;
        QString failed = store.open(args.at(2), url);
        failed = failed.isEmpty() ? addRecords(store, args.at(1)) : failed;
        if (!failed.isEmpty()) {
            std::fprintf(stderr, "made_up_store: %s\n", qUtf8Printable(failed));
        }
        return failed.isEmpty() ? 0 : 1;
    }
    if (args.size() != 4) {
        std::fputs("usage: made_up_store [--database URL] FOLDER LEARNERS PER_DAY DAYS\n", stderr);
        return 2;
    }
    QStringList names;
    for (int l = 0; l < args.at(1).toInt(); ++l) {
        names.append(QStringLiteral("learner%1").arg(l + 1, 4, 10, QLatin1Char('0')));
    }
    QDir().mkpath(args.at(0));
    Store store;
    QString failed = store.open(args.at(0), url);
    if (failed.isEmpty()) {
        failed = addLearners(store, names);
    }
    if (failed.isEmpty()) {
        failed = addChecks(store, args.at(0), names, args.at(2).toInt(), args.at(3).toInt());
    }
    if (!failed.isEmpty()) {
        std::fprintf(stderr, "made_up_store: %s\n", qUtf8Printable(failed));
        return 1;
    }
    return 0;
}
