// The classroom store on SQLite: its schema is made once and kept, a store
// from a newer program is refused untouched, an up-to-date one is opened
// without a write, removing a learner removes their rows only (and no row
// of theirs comes afterwards), a learner from before the store's salt still
// signs in, and a failing store is told apart from "none" without naming
// its place.
#include "server/store/Store.h"
#include "server/http/EpollDispatcher.h"
#include "server/store/SignInCodes.h"

#include <QCoreApplication>
#include <QPasswordDigestor>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

namespace
{

// Runs SQL on the store's file through a connection of its own.
struct Raw {
    explicit Raw(const QString& file)
    {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(file);
        db.open();
    }
    ~Raw()
    {
        db.close();
        db = {};
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }
    QVariant value(const QString& sql)
    {
        QSqlQuery q(db);
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }
    bool run(const QString& sql) { return QSqlQuery(db).exec(sql); }
    QSqlDatabase db;
};

TEST(ClassroomStore, KeepsItsRowsAcrossOpeningsAndRefusesANewerSchema)
{
    QTemporaryDir dir;
    {
        Store store;
        ASSERT_EQ(store.open(dir.path(), {}), QString());
        ASSERT_EQ(store.addLearner(QStringLiteral("aoi"), QStringLiteral("ABCDEFGH")), QString());
        ASSERT_EQ(store.appendMark(QStringLiteral("aoi"),
                                   {QStringLiteral("問題1 a"), QStringLiteral("x,")}),
                  QString());
        EXPECT_NE(store.addLearner(QStringLiteral("aoi"), QStringLiteral("ZZZZZZZZ")), QString());
    }
    {
        Store again;
        ASSERT_EQ(again.open(dir.path(), {}), QString());
        EXPECT_EQ(again.learnerNames(), QStringList{QStringLiteral("aoi")});
        ASSERT_EQ(again.marks(QStringLiteral("aoi")).size(), 1);
        EXPECT_EQ(again.marks(QStringLiteral("aoi")).first().record.last(), QStringLiteral("x,"));
    }
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(dir.filePath(QStringLiteral("velmorant.sqlite")));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("UPDATE schema_version SET version = 99"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    Store newer;
    EXPECT_NE(newer.open(dir.path(), {}), QString());
    EXPECT_EQ(newer.learnerNames(), QStringList{QStringLiteral("aoi")});
}

TEST(ClassroomStore, RemovingALearnerTakesTheirRowsOnly)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    for (const char* name : {"aoi", "ren"}) {
        const QString n = QString::fromLatin1(name);
        ASSERT_EQ(store.addLearner(n, QStringLiteral("ABCDEFG") + n.at(0)), QString());
        ASSERT_EQ(store.appendMark(n, {n}), QString());
        ASSERT_EQ(store.appendStatement(n, n + QStringLiteral("-1"), QStringLiteral("p"), 1, "{}"),
                  QString());
        ASSERT_EQ(store.addSession(SignInCodes::sessionHash(n.toUtf8()), n, 100), QString());
    }
    ASSERT_EQ(store.removeLearner(QStringLiteral("aoi")), QString());
    // What a server still showing aoi's page sends afterwards.
    EXPECT_NE(store.appendMark(QStringLiteral("aoi"), {QStringLiteral("late")}), QString());
    EXPECT_NE(store.appendStatement(QStringLiteral("aoi"), QStringLiteral("late"),
                                    QStringLiteral("p"), 2, "{}"),
              QString());
    EXPECT_NE(store.addSession(SignInCodes::sessionHash("late"), QStringLiteral("aoi"), 100),
              QString());
    EXPECT_EQ(store.learnerNames(), QStringList{QStringLiteral("ren")});
    EXPECT_TRUE(store.marks(QStringLiteral("aoi")).isEmpty());
    EXPECT_TRUE(store.statements(QStringLiteral("aoi")).isEmpty());
    EXPECT_FALSE(store.sessionLearner(SignInCodes::sessionHash("aoi"), 50));
    EXPECT_FALSE(store.sessionLearner(SignInCodes::sessionHash("late"), 50));
    EXPECT_EQ(store.marks(QStringLiteral("ren")).size(), 1);
    EXPECT_EQ(store.statements(QStringLiteral("ren")).size(), 1);
    EXPECT_EQ(store.sessionLearner(SignInCodes::sessionHash("ren"), 50), QStringLiteral("ren"));
    EXPECT_FALSE(store.sessionLearner(SignInCodes::sessionHash("ren"), 100)) << "expired";
}

// Sessions past their time end once, as the server's sweep ends them; the
// live ones stay, and the teacher's list shows each learner once, with
// their latest session.
TEST(ClassroomStore, ExpiredSessionsEndOnceAndLiveOnesAreListed)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    ASSERT_EQ(store.addLearner(QStringLiteral("aoi"), QStringLiteral("ABCDEFGH")), QString());
    ASSERT_EQ(store.addLearner(QStringLiteral("ren"), QStringLiteral("JKMNPQRS")), QString());
    ASSERT_EQ(store.addSession("aoi-tablet", QStringLiteral("aoi"), 100), QString());
    ASSERT_EQ(store.addSession("aoi-phone", QStringLiteral("aoi"), 300), QString());
    ASSERT_EQ(store.addSession("ren-tablet", QStringLiteral("ren"), 150), QString());
    ASSERT_EQ(store.extendSession("ren-tablet", 400), QString());

    const std::optional<QList<Store::SignedIn>> before = store.signedIn(50);
    ASSERT_TRUE(before);
    ASSERT_EQ(before->size(), 2);
    EXPECT_EQ(before->at(0).learner, QStringLiteral("aoi"));
    EXPECT_EQ(before->at(0).expiresMs, 300);
    EXPECT_EQ(before->at(1).expiresMs, 400) << "an action made ren's session last longer";

    EXPECT_EQ(store.endExpiredSessions(200), QStringList{QStringLiteral("aoi")});
    EXPECT_EQ(store.endExpiredSessions(200), QStringList()) << "ended once, logged once";
    EXPECT_EQ(store.sessionLearner("aoi-phone", 200), QStringLiteral("aoi"));
    EXPECT_EQ(store.sessionLearner("ren-tablet", 200), QStringLiteral("ren"));

    EXPECT_EQ(store.removeSessions(QStringLiteral("aoi")), 1);
    EXPECT_EQ(store.signedIn(200)->size(), 1);
}

// The live page's latest answers: newest first across the class, however
// the learners' answers interleave.
TEST(ClassroomStore, LatestStatementsAreTheClasssNewest)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    const QList<std::pair<const char*, qint64>> made = {{"aoi", 10}, {"aoi", 50}, {"aoi", 20},
                                                        {"ren", 40}, {"ren", 30}, {"mei", 5}};
    for (const auto& [name, at] : made) {
        const QString n = QString::fromLatin1(name);
        if (!store.learnerNames().contains(n)) {
            ASSERT_EQ(store.addLearner(n, QStringLiteral("ABCDEFG") + n.at(0)), QString());
        }
        ASSERT_EQ(store.appendStatement(n, n + QString::number(at), QStringLiteral("p"), at, "{}"),
                  QString());
    }
    const std::optional<QList<Store::StatementRow>> latest = store.latestStatements(3);
    ASSERT_TRUE(latest);
    QStringList got;
    for (const Store::StatementRow& row : *latest) {
        got.append(row.id);
    }
    EXPECT_EQ(got, QStringList({QStringLiteral("aoi50"), QStringLiteral("ren40"),
                                QStringLiteral("ren30")}));
    EXPECT_EQ(store.latestStatements(10)->size(), 6);
}

TEST(ClassroomStore, OpensAStoreOfThisVersionWithoutWriting)
{
    QTemporaryDir dir;
    {
        Store store;
        ASSERT_EQ(store.open(dir.path(), {}), QString());
    }
    Raw raw(dir.filePath(QStringLiteral("velmorant.sqlite")));
    const QVariant before = raw.value(QStringLiteral("PRAGMA data_version"));
    {
        Store again;
        ASSERT_EQ(again.open(dir.path(), {}), QString());
    }
    EXPECT_EQ(raw.value(QStringLiteral("PRAGMA data_version")), before);
}

// A store of the version before the store's salt, with a learner whose code
// is hashed with a salt of their own, and the bucket beside it.
void makeOldStore(Raw& raw, const QString& code)
{
    for (const char* sql :
         {"CREATE TABLE learners (name TEXT PRIMARY KEY, bucket INTEGER NOT NULL,"
          " salt TEXT NOT NULL, code_hash TEXT NOT NULL)",
          "CREATE INDEX learners_bucket ON learners (bucket)",
          "CREATE TABLE sessions (id_hash TEXT PRIMARY KEY, learner TEXT NOT NULL,"
          " expires_ms BIGINT NOT NULL)",
          "CREATE TABLE teacher (id INTEGER PRIMARY KEY CHECK (id = 1),"
          " salt TEXT NOT NULL, password_hash TEXT NOT NULL)",
          "CREATE TABLE teacher_sessions (id_hash TEXT PRIMARY KEY, expires_ms BIGINT NOT NULL)",
          "CREATE TABLE statements (learner TEXT NOT NULL, id TEXT NOT NULL UNIQUE,"
          " problem_id TEXT NOT NULL, timestamp_ms BIGINT NOT NULL, json TEXT NOT NULL,"
          " lrs_state INTEGER NOT NULL DEFAULT 0)",
          "CREATE TABLE schema_version (version INTEGER NOT NULL)",
          "INSERT INTO schema_version VALUES (3)"}) {
        ASSERT_TRUE(raw.run(QString::fromLatin1(sql))) << sql;
    }
    const QByteArray salt = SignInCodes::newSalt();
    ASSERT_TRUE(raw.run(QStringLiteral("INSERT INTO learners VALUES ('mio', 7, '%1', '%2')")
                            .arg(QString::fromLatin1(salt.toHex()),
                                 QString::fromLatin1(SignInCodes::hash(code, salt).toHex()))));
}

TEST(ClassroomStore, ALearnerFromBeforeTheStoresSaltSignsInAndIsMovedToIt)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("velmorant.sqlite"));
    const QString code = QStringLiteral("MIO23456");
    {
        Raw raw(file);
        makeOldStore(raw, code);
    }
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    QString failure = QStringLiteral("unset");
    EXPECT_FALSE(store.learnerWithCode(QStringLiteral("MIO23457"), &failure));
    EXPECT_EQ(failure, QString());
    EXPECT_EQ(store.learnerWithCode(code, &failure), QStringLiteral("mio"));
    EXPECT_EQ(failure, QString());
    ASSERT_EQ(store.addLearner(QStringLiteral("ren"), QStringLiteral("REN23456")), QString());
    Raw raw(file);
    EXPECT_EQ(raw.value(QStringLiteral("SELECT group_concat(name, ' ') FROM"
                                       " pragma_table_info('learners')")),
              QStringLiteral("name salt code_hash class_id number display_name"));
    const QByteArray storeSalt = QByteArray::fromHex(
        raw.value(QStringLiteral("SELECT salt FROM code_salt")).toString().toLatin1());
    EXPECT_EQ(
        raw.value(QStringLiteral("SELECT salt || code_hash FROM learners WHERE name = 'mio'")),
        QString::fromLatin1(SignInCodes::hash(code, storeSalt).toHex()))
        << "moved to the store's salt";
    EXPECT_EQ(store.learnerWithCode(code), QStringLiteral("mio"));
    EXPECT_EQ(store.learnerWithCode(QStringLiteral("REN23456")), QStringLiteral("ren"));
}

TEST(ClassroomStore, AFailingStoreIsToldApartFromNoneWithoutNamingItsPlace)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    ASSERT_EQ(store.addLearner(QStringLiteral("aoi"), QStringLiteral("AOI23456")), QString());
    QString failure = QStringLiteral("unset");
    EXPECT_FALSE(store.sessionLearner("no such session", 0, &failure));
    EXPECT_EQ(failure, QString());
    {
        Raw raw(dir.filePath(QStringLiteral("velmorant.sqlite")));
        ASSERT_TRUE(raw.run(QStringLiteral("ALTER TABLE sessions RENAME TO gone")));
        ASSERT_TRUE(raw.run(QStringLiteral("ALTER TABLE learners RENAME TO gone_too")));
    }
    EXPECT_FALSE(store.sessionLearner("no such session", 0, &failure));
    EXPECT_NE(failure, QString());
    EXPECT_FALSE(store.learnerWithCode(QStringLiteral("AOI23456"), &failure));
    EXPECT_NE(failure, QString()) << "a right code is not a wrong one when the store fails";
    EXPECT_TRUE(store.learnerNames(&failure).isEmpty());
    EXPECT_NE(failure, QString());
    const QString failed = store.addSession("id", QStringLiteral("aoi"), 100);
    EXPECT_NE(failed, QString());
    EXPECT_FALSE(failed.contains(dir.path())) << qPrintable(failed);
}

TEST(SignInCodes, AreEightCharactersWithoutLookAlikesAndMatchOnlyThemselves)
{
    const QString code = SignInCodes::newCode();
    ASSERT_EQ(code.size(), 8);
    for (const QChar c : code) {
        EXPECT_FALSE(QStringLiteral("0O1lI").contains(c)) << qPrintable(code);
    }
    const QByteArray salt = SignInCodes::newSalt();
    const QByteArray hash = SignInCodes::hash(code, salt);
    EXPECT_TRUE(SignInCodes::sameBytes(hash, SignInCodes::hash(code, salt)));
    EXPECT_FALSE(SignInCodes::sameBytes(hash, SignInCodes::hash(code, SignInCodes::newSalt())));
    EXPECT_NE(SignInCodes::newCode(), code);
    // The same PBKDF2 as the hashes already stored were made with.
    EXPECT_EQ(hash, QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, code.toUtf8(),
                                                       salt, 20000, 32));
    EXPECT_EQ(SignInCodes::passwordHash(QStringLiteral("先生の合言葉"), salt).toHex(),
              QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256,
                                                 QStringLiteral("先生の合言葉").toUtf8(), salt,
                                                 600000, 32)
                  .toHex());
    EXPECT_FALSE(SignInCodes::sameBytes(QByteArray(), QByteArray()));
}

// One field of each row, in their order.
template <typename Row> QStringList fieldOf(const QList<Row>& rows, QString Row::*field)
{
    QStringList out;
    for (const Row& r : rows) {
        out.append(r.*field);
    }
    return out;
}

// Learners of a school: listed by class and 番号 (none last), the same name
// in two classes two learners, a list with one taken name registering no
// one, and a class removed with its learners' rows alone.
TEST(ClassroomStore, KeepsClassesAndTheirLearnersInTheSchoolsOrder)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    const auto learner = [](const char* c, int n, const QString& name) {
        return Store::NewLearner{QString::fromUtf8(c), n, name, SignInCodes::newCode(), {}};
    };
    ASSERT_EQ(store.addLearners({learner("1B", 2, QStringLiteral("あおい")),
                                 learner("1B", 0, QStringLiteral("かい")),
                                 learner("1B", 1, QStringLiteral("れん")),
                                 learner("1A", 1, QStringLiteral("あおい"))}),
              QString());
    EXPECT_NE(store.addLearners({learner("1A", 2, QStringLiteral("みお")),
                                 learner("1A", 3, QStringLiteral("あおい"))}),
              QString());
    EXPECT_EQ(fieldOf(store.learners().value(), &Store::Learner::key),
              (QStringList{QStringLiteral("1A/あおい"), QStringLiteral("1B/れん"),
                           QStringLiteral("1B/あおい"), QStringLiteral("1B/かい")}))
        << "classes by name, then 番号, none last; みお of the refused list is not there";
    ASSERT_EQ(store.appendMark(QStringLiteral("1A/あおい"), {QStringLiteral("問題1 a")}),
              QString());
    ASSERT_EQ(store.appendMark(QStringLiteral("1B/あおい"), {QStringLiteral("問題1 a")}),
              QString());
    int removed = 0;
    ASSERT_EQ(store.removeClass(QStringLiteral("1B"), &removed), QString());
    EXPECT_EQ(removed, 3);
    EXPECT_EQ(store.learnerNames(), QStringList{QStringLiteral("1A/あおい")});
    EXPECT_EQ(store.marks(QStringLiteral("1A/あおい")).size(), 1);
    EXPECT_TRUE(store.marks(QStringLiteral("1B/あおい")).isEmpty());
    EXPECT_EQ(store.classes().value().size(), 1);
    // New classes join in the order a school counts them.
    ASSERT_EQ(store.addLearners({learner("1年12組", 1, QStringLiteral("そら")),
                                 learner("1年3組", 1, QStringLiteral("うみ"))}),
              QString());
    EXPECT_EQ(
        fieldOf(store.classes().value(), &Store::SchoolClass::name),
        (QStringList{QStringLiteral("1A"), QStringLiteral("1年3組"), QStringLiteral("1年12組")}));
}

} // namespace

int main(int argc, char** argv)
{
    // On the server's own loop, as velmorant-server runs.
    QCoreApplication::setEventDispatcher(new EpollDispatcher);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// A class has one open round at most; its steps count its version on, and
// its boards are kept by learner and problem.
TEST(ClassroomStore, KeepsOneOpenRoundAClassWithItsBoards)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    const auto learner = [](const char* c, const QString& name) {
        return Store::NewLearner{QString::fromUtf8(c), 0, name, SignInCodes::newCode(), {}};
    };
    ASSERT_EQ(store.addLearners(
                  {learner("1A", QStringLiteral("あおい")), learner("1B", QStringLiteral("みお"))}),
              QString());
    const qint64 a = store.learner(QStringLiteral("1A/あおい"))->classId;
    QString first;
    QString second;
    ASSERT_EQ(store.startRound(a, QStringLiteral("Bio1.TXT"), 1, &first), QString());
    ASSERT_EQ(store.startRound(a, QStringLiteral("Bio2.TXT"), 3, &second), QString());
    const std::optional<Store::Round> open = store.learnerRound(QStringLiteral("1A/あおい"));
    ASSERT_TRUE(open);
    EXPECT_EQ(open->id, second);
    EXPECT_EQ(open->problem, 3);
    EXPECT_TRUE(store.learnerRound(QStringLiteral("1B/みお"))->id.isEmpty());
    EXPECT_NE(store.stepRound(first, 2, false), QString());
    ASSERT_EQ(store.stepRound(second, 4, true), QString());
    EXPECT_TRUE(store.openRound(a)->revealed);
    EXPECT_GT(store.openRound(a)->version, open->version);
    ASSERT_EQ(store.saveRoundBoard(second, 4, {QStringLiteral("1A/あおい"), {2, -1}, false, "{}"}),
              QString());
    ASSERT_EQ(store.saveRoundBoard(second, 4, {QStringLiteral("1A/あおい"), {2, 1}, true, "{}"}),
              QString());
    // A move after the check: the board moves, the check stays.
    ASSERT_EQ(store.saveRoundBoard(second, 4, {QStringLiteral("1A/あおい"), {2, 0}, false, "{}"}),
              QString());
    const auto boards = store.roundBoards(second, 4);
    ASSERT_TRUE(boards && boards->size() == 1);
    EXPECT_EQ(boards->first().placements, (QList<int>{2, 0}));
    EXPECT_TRUE(boards->first().answered);
    EXPECT_TRUE(store.roundBoards(second, 3)->isEmpty());
    ASSERT_EQ(store.removeLearner(QStringLiteral("1A/あおい")), QString());
    EXPECT_TRUE(store.roundBoards(second, 4)->isEmpty());
    ASSERT_EQ(store.endRound(second), QString());
    EXPECT_TRUE(store.openRound(a)->id.isEmpty());
}
