// Fills a classroom server's store with a made-up class for the bench's load
// client: learners with codes and open sessions, and each learner's record
// of checks as the server itself stores them.
//   made_up_store [--database URL] FOLDER LEARNERS PER_DAY DAYS
// Prints one line a learner: name, code ("-" past the first 40) and
// session id, tab-separated.
#include "MadeUpClass.h"
#include "record/Statements.h"
#include "server/SignInCodes.h"
#include "server/Store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSqlDatabase>
#include <QStringList>

#include <cstdio>

namespace
{

// The most learners that sign in at once in the bench: only they get a
// code the server can take (hashing a code takes a while). The others'
// hashes are random bytes, each in the bucket of a code of its own, so that
// a sign-in still costs what it costs in a class of that size.
constexpr int WithCodes = 40;

// Learners with a code and a session that lasts the bench out.
QString addLearners(Store& store, const QStringList& names)
{
    const qint64 until = QDateTime::currentMSecsSinceEpoch() + qint64(8) * 3600 * 1000;
    for (qsizetype l = 0; l < names.size(); ++l) {
        const QString code = SignInCodes::newCode();
        const QByteArray salt = SignInCodes::newSalt();
        const QByteArray session = SignInCodes::newSessionId();
        const bool usable = l < WithCodes;
        const QByteArray hash = usable ? SignInCodes::hash(code, salt)
                                       : SignInCodes::newSalt() + SignInCodes::newSalt();
        QString failed = store.addLearner({names.at(l), SignInCodes::bucket(code), salt, hash});
        if (failed.isEmpty()) {
            failed = store.addSession(SignInCodes::sessionHash(session), names.at(l), until);
        }
        if (!failed.isEmpty()) {
            return failed;
        }
        std::printf("%s\t%s\t%s\n", qUtf8Printable(names.at(l)),
                    usable ? qUtf8Printable(code) : "-", session.constData());
    }
    return {};
}

// One transaction a learner: a year of checks is written in seconds.
QString addChecks(Store& store, const QString& folder, const QStringList& names, int perDay,
                  int days)
{
    QSqlDatabase db = QSqlDatabase::database(QSqlDatabase::connectionNames().value(0));
    qsizetype current = -1;
    const QString failed = MadeUpClass::eachCheck(
        folder, names, perDay, days, [&](qsizetype learner, const Answer& a) {
            if (learner != current) {
                if ((current >= 0 && !db.commit()) || !db.transaction()) {
                    return QStringLiteral("transaction failed");
                }
                current = learner;
            }
            return store.appendStatement(names.at(learner), a.id.toString(QUuid::WithoutBraces),
                                         a.problemId(), a.timestampMs, Statements::line(a));
        });
    if (current >= 0 && !db.commit()) {
        return QStringLiteral("commit failed");
    }
    return failed;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString url;
    if (args.size() == 6 && args.at(0) == QLatin1String("--database")) {
        url = args.at(1);
        args = args.mid(2);
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
