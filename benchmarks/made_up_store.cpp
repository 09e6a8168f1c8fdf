// Fills a classroom server's store with a made-up class for the bench's load
// client: learners with codes and open sessions, and each learner's record
// of checks as the server itself stores them.
//   made_up_store [--database URL] [--classes N] FOLDER LEARNERS PER_DAY DAYS
// Prints one line a learner: key, code and session id, tab-separated.
// With --classes, a school: N classes 1組, 2組... of LEARNERS each, with
// 番号 and names; the first class is made as above, the others copied from
// it in the database (their learners have sessions but no code that signs
// in: hashing a school's codes would take the bench minutes).
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

const qint64 SessionsUntil = QDateTime::currentMSecsSinceEpoch() + qint64(8) * 3600 * 1000;

// A session that lasts the bench out, printed with its learner.
QString addSession(Store& store, const QString& key, const QString& code)
{
    const QByteArray session = SignInCodes::newSessionId();
    const QString failed = store.addSession(SignInCodes::sessionHash(session), key, SessionsUntil);
    if (failed.isEmpty()) {
        std::printf("%s\t%s\t%s\n", qUtf8Printable(key), qUtf8Printable(code), session.constData());
    }
    return failed;
}

// Learners with a code and a session; in `className` (numbered in order)
// when one is given, else in the store's one class. Returns their keys.
QString addLearners(Store& store, const QStringList& names, const QString& className,
                    QStringList* keys)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString code = SignInCodes::newCode();
        const QString key =
            className.isEmpty() ? names.at(i) : className + QLatin1Char('/') + names.at(i);
        QString failed =
            className.isEmpty()
                ? store.addLearner(names.at(i), code)
                : store.addLearners({{className, int(i + 1), names.at(i), code, QString()}});
        if (failed.isEmpty()) {
            failed = addSession(store, key, code);
        }
        if (!failed.isEmpty()) {
            return failed;
        }
        keys->append(key);
    }
    return {};
}

// Another class as a copy of `from`: its learners (with codes that match
// no code), their statements and sessions. A copied statement's id has the
// class's number in its node (its last two digits dropped), so that no copy
// takes an id already used.
QString copyClass(Store& store, const QString& from, const QString& to, int number,
                  const QStringList& names)
{
    const QString oldKey = from + QLatin1Char('/');
    const QString newKey = to + QLatin1Char('/');
    const QString node = QStringLiteral("%1").arg(number % 256, 2, 16, QLatin1Char('0'));
    const QString begun = store.begin();
    if (!begun.isEmpty()) {
        return begun;
    }
    const QList<QPair<QString, QVariantList>> steps = {
        {QStringLiteral("INSERT INTO classes (name, position) SELECT CAST(? AS TEXT),"
                        " COALESCE(MAX(position), -1) + 1 FROM classes"),
         {to}},
        {QStringLiteral("INSERT INTO learners (name, salt, code_hash, class_id, number,"
                        " display_name) SELECT CAST(? AS TEXT) || substr(l.name, CAST(? AS"
                        " INTEGER)), l.salt, l.code_hash || CAST(? AS TEXT),"
                        " c.id, l.number, l.display_name FROM learners l, classes c"
                        " WHERE c.name = ? AND l.name LIKE ?"),
         {newKey, oldKey.size() + 1, QLatin1Char('-') + to, to, oldKey + QLatin1Char('%')}},
        {QStringLiteral("INSERT INTO statements (learner, id, problem_id, timestamp_ms, success,"
                        " attempt, duration_ms, json)"
                        " SELECT CAST(? AS TEXT) || substr(s.learner, CAST(? AS INTEGER)),"
                        " substr(s.id, 1, 24) || CAST(? AS TEXT) || substr(s.id, 25, 10),"
                        " s.problem_id, s.timestamp_ms, s.success, s.attempt, s.duration_ms,"
                        " replace(replace(s.json, ?, ?),"
                        " '\"id\":\"' || s.id || '\"', '\"id\":\"' || substr(s.id, 1, 24) ||"
                        " CAST(? AS TEXT) || substr(s.id, 25, 10) || '\"') FROM statements s"
                        " WHERE s.learner LIKE ?"),
         {newKey, oldKey.size() + 1, node, QLatin1Char('"') + oldKey, QLatin1Char('"') + newKey,
          node, oldKey + QLatin1Char('%')}},
    };
    for (const auto& [sql, values] : steps) {
        if (const QString failed = store.execute(sql, values); !failed.isEmpty()) {
            store.rollback();
            return failed;
        }
    }
    if (const QString failed = store.commit(); !failed.isEmpty()) {
        return failed;
    }
    for (const QString& name : names) {
        if (const QString failed = addSession(store, newKey + name, QStringLiteral("-"));
            !failed.isEmpty()) {
            return failed;
        }
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
        // Built within the learner's transaction: outside one a learner's
        // answers are only read, and their state kept with the next answer.
        StoreAnswers(store, names.at(current), folder, HomePage::read(folder).url);
        return store.commit();
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
    QStringList keys;
    QString failed = addLearners(store, names, QString(), &keys);
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
    int classes = 0;
    // --database URL, then --classes N.
    for (const QString& option : {QStringLiteral("--database"), QStringLiteral("--classes")}) {
        if (args.size() > 2 && args.at(0) == option) {
            if (option == QLatin1String("--classes")) {
                classes = args.at(1).toInt();
            } else {
                url = args.at(1);
            }
            args = args.mid(2);
        }
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
        std::fputs("usage: made_up_store [--database URL] [--classes N] FOLDER LEARNERS PER_DAY"
                   " DAYS\n",
                   stderr);
        return 2;
    }
    QStringList names;
    for (int l = 0; l < args.at(1).toInt(); ++l) {
        names.append(
            QStringLiteral("learner%1").arg(l + 1, classes > 0 ? 2 : 4, 10, QLatin1Char('0')));
    }
    const auto className = [](int c) { return QStringLiteral("%1組").arg(c); };
    QDir().mkpath(args.at(0));
    Store store;
    QStringList keys;
    QString failed = store.open(args.at(0), url);
    if (failed.isEmpty()) {
        failed = addLearners(store, names, classes > 0 ? className(1) : QString(), &keys);
    }
    if (failed.isEmpty()) {
        failed = addChecks(store, args.at(0), keys, args.at(2).toInt(), args.at(3).toInt());
    }
    // A school's copies are a gigabyte or two: written once, without a
    // journal kept twice, and with the ids' index in memory.
    for (const char* pragma :
         {"PRAGMA journal_mode=DELETE", "PRAGMA synchronous=OFF", "PRAGMA cache_size=-524288"}) {
        if (failed.isEmpty() && classes > 1 && url.isEmpty()) {
            failed = store.execute(QString::fromLatin1(pragma), {});
        }
    }
    for (int c = 2; c <= classes && failed.isEmpty(); ++c) {
        failed = copyClass(store, className(1), className(c), c, names);
    }
    if (!failed.isEmpty()) {
        std::fprintf(stderr, "made_up_store: %s\n", qUtf8Printable(failed));
        return 1;
    }
    return 0;
}
