// The classroom store on SQLite: its schema is made once and kept, a store
// from a newer program is refused untouched, and removing a learner removes
// their rows only.
#include "server/SignInCodes.h"
#include "server/Store.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

TEST(ClassroomStore, KeepsItsRowsAcrossOpeningsAndRefusesANewerSchema)
{
    QTemporaryDir dir;
    {
        Store store;
        ASSERT_EQ(store.open(dir.path(), {}), QString());
        ASSERT_EQ(store.addLearner(QStringLiteral("aoi"), QStringLiteral("ABCDEFGH")), QString());
        ASSERT_EQ(store.appendMark(QStringLiteral("aoi"), {QStringLiteral("問題1 a"), QStringLiteral("x,")}),
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
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
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
        ASSERT_EQ(store.appendStatement(n, n + QStringLiteral("-1"), QStringLiteral("p"), 1, "{}"), QString());
        ASSERT_EQ(store.addSession(SignInCodes::sessionHash(n.toUtf8()), n, 100), QString());
    }
    ASSERT_EQ(store.removeLearner(QStringLiteral("aoi")), QString());
    EXPECT_EQ(store.learnerNames(), QStringList{QStringLiteral("ren")});
    EXPECT_TRUE(store.marks(QStringLiteral("aoi")).isEmpty());
    EXPECT_TRUE(store.statements(QStringLiteral("aoi")).isEmpty());
    EXPECT_FALSE(store.sessionLearner(SignInCodes::sessionHash("aoi"), 50));
    EXPECT_EQ(store.marks(QStringLiteral("ren")).size(), 1);
    EXPECT_EQ(store.statements(QStringLiteral("ren")).size(), 1);
    EXPECT_EQ(store.sessionLearner(SignInCodes::sessionHash("ren"), 50), QStringLiteral("ren"));
    EXPECT_FALSE(store.sessionLearner(SignInCodes::sessionHash("ren"), 100)) << "expired";
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
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
