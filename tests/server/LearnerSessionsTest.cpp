// The learners' sessions on the server: an action is stored whole or not at
// all, names the state it acts on, is not applied twice when sent again, a
// session continues from the store in another process, and checks are
// bounded across processes.
#include "server/learner/LearnerSessions.h"
#include "record/Statements.h"
#include "series/Problem.h"
#include "series/SeriesLoader.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

namespace
{

// Problem 1 of the first sample series: each term's frame.
constexpr std::array<int, 10> Answer = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2};

struct Reply {
    int status = 0;
    QJsonObject json;
};

class Class
{
public:
    Class()
    {
        const QDir data(TestFiles::sourceDir() + QStringLiteral("/data"));
        for (const QString& name : data.entryList(QDir::Files)) {
            QFile::copy(data.filePath(name), QDir(dir.path()).filePath(name));
        }
        EXPECT_EQ(store.open(dir.path(), {}), QString());
        EXPECT_EQ(store.addLearner(QStringLiteral("aoi"), QStringLiteral("ABCDEFGH")), QString());
        EXPECT_EQ(
            store.addSession(hash, QStringLiteral("aoi"), std::numeric_limits<qint64>::max() / 2),
            QString());
    }

    // A server process: its own sessions in memory, the same store.
    std::unique_ptr<LearnerSessions> process()
    {
        return std::make_unique<LearnerSessions>(LearnerSessions::Setup{
            dir.path(), QStringLiteral("http://velmorant.invalid/"), &measure, &stores});
    }

    static Reply wait(const std::function<void(LearnerSessions::Done)>& call)
    {
        std::promise<LearnerSessions::Answer> got;
        call([&got](const LearnerSessions::Answer& a) { got.set_value(a); });
        const LearnerSessions::Answer a = got.get_future().get();
        return {a.status, QJsonDocument::fromJson(a.body).object()};
    }

    Reply act(LearnerSessions& s, Requests::Kind kind, QJsonObject body, const char* key = nullptr)
    {
        body.insert(QStringLiteral("seq"), seq);
        if (!round.isEmpty()) {
            body.insert(QStringLiteral("round"), round);
        }
        if (key != nullptr) {
            body.insert(QStringLiteral("key"), QString::fromLatin1(key));
        }
        const QByteArray bytes = QJsonDocument(body).toJson();
        QString why;
        const std::optional<Requests::Command> command = Requests::parse(kind, bytes, &why);
        if (!command) {
            return {400, {}};
        }
        Reply r = wait([&](LearnerSessions::Done done) {
            s.act(QStringLiteral("aoi"), hash, *command, std::move(done));
        });
        if (r.status == 200) {
            seq = r.json.value(QStringLiteral("seq")).toInteger();
        }
        return r;
    }

    Reply state(LearnerSessions& s)
    {
        return wait([&](LearnerSessions::Done done) {
            s.state(QStringLiteral("aoi"), hash, std::move(done));
        });
    }

    Reply move(LearnerSessions& s, int term, const char* key = nullptr)
    {
        return act(s, Requests::Kind::Move,
                   {{QStringLiteral("term"), term}, {QStringLiteral("frame"), Answer.at(term)}},
                   key);
    }

    int statements() { return static_cast<int>(store.statements(QStringLiteral("aoi")).size()); }

    QTemporaryDir dir;
    Store store;
    FakeMeasure measure;
    StoreThreads stores{dir.path(), {}};
    QByteArray hash = SignInCodes::sessionHash(SignInCodes::newSessionId());
    qint64 seq = 0;
    QString round; // the class round's board the actions are made on
};

QList<int> framesOf(const Reply& r)
{
    QList<int> frames;
    const QJsonObject board = r.json.value(QStringLiteral("board")).toObject();
    for (const QJsonValue t : board.value(QStringLiteral("terms")).toArray()) {
        frames.append(t.toObject().value(QStringLiteral("frame")).toInt(-1));
    }
    return frames;
}

TEST(LearnerSessions, AStaleActionIsRefusedWithTheStateAndASentAgainOneIsNotRedone)
{
    Class c;
    auto server = c.process();
    ASSERT_EQ(c.act(*server, Requests::Kind::Open, {{QStringLiteral("entry"), 1}}).status, 200);
    const Reply first = c.move(*server, 0, "key-of-move-0");
    ASSERT_EQ(first.status, 200);
    const qint64 after = c.seq;
    // The same action again (its reply was lost): answered with the board
    // it left, not applied again.
    c.seq = after - 1;
    const Reply again = c.move(*server, 0, "key-of-move-0");
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(c.seq, after);
    EXPECT_EQ(framesOf(again), framesOf(first));
    EXPECT_EQ(framesOf(again).value(0), Answer.at(0));
    // An action meant for an older state.
    c.seq = after - 1;
    const Reply stale = c.move(*server, 1, "key-of-move-1");
    EXPECT_EQ(stale.status, 409);
    EXPECT_EQ(stale.json.value(QStringLiteral("state"))
                  .toObject()
                  .value(QStringLiteral("seq"))
                  .toInteger(),
              after);
    EXPECT_EQ(c.state(*server).json.value(QStringLiteral("seq")).toInteger(), after);
}

TEST(LearnerSessions, AFailedStoreKeepsNothingAndTheSameActionLandsOnceAfterwards)
{
    Class c;
    auto server = c.process();
    ASSERT_EQ(c.act(*server, Requests::Kind::Open, {{QStringLiteral("entry"), 1}}).status, 200);
    for (int term = 0; term + 1 < static_cast<int>(Answer.size()); ++term) {
        ASSERT_EQ(c.move(*server, term).status, 200);
    }
    // The store refuses the answer the last move makes.
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
        db.setDatabaseName(QDir(c.dir.path()).filePath(QStringLiteral("velmorant.sqlite")));
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(
            QSqlQuery(db).exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON statements "
                                              "BEGIN SELECT RAISE(FAIL, 'full'); END")));
        const qint64 before = c.seq;
        EXPECT_EQ(c.move(*server, 9, "the-last-move").status, 503);
        EXPECT_EQ(c.seq, before);
        EXPECT_EQ(c.statements(), 0);
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("DROP TRIGGER refuse")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));
    const Reply landed = c.move(*server, 9, "the-last-move");
    EXPECT_EQ(landed.status, 200);
    EXPECT_TRUE(landed.json.contains(QStringLiteral("panel")));
    EXPECT_EQ(c.statements(), 1);
}

TEST(LearnerSessions, AnotherProcessContinuesTheSessionWhereItWas)
{
    Class c;
    auto first = c.process();
    ASSERT_EQ(c.act(*first, Requests::Kind::Open, {{QStringLiteral("entry"), 1}}).status, 200);
    ASSERT_EQ(c.move(*first, 0).status, 200);
    const Reply there = c.move(*first, 4);
    ASSERT_EQ(there.status, 200);
    auto second = c.process();
    const Reply here = c.state(*second);
    EXPECT_EQ(framesOf(here), framesOf(there));
    EXPECT_EQ(here.json.value(QStringLiteral("seq")).toInteger(), c.seq);
    // Actions alternate between the two and each sees the other's.
    ASSERT_EQ(c.move(*second, 5).status, 200);
    ASSERT_EQ(c.move(*first, 6).status, 200);
    EXPECT_EQ(framesOf(c.state(*second)).mid(4, 3), (QList<int>{1, 1, 1}));
    // A session ended in the store ends in every process at once.
    c.store.removeSession(c.hash);
    EXPECT_EQ(c.move(*first, 7).status, 401);
}

// A term put again into the frame it lies in, once every term lies in one,
// is checked again, as on the desktop: one more answer in the record.
TEST(LearnerSessions, ATermPutBackIntoItsOwnFrameIsCheckedAgain)
{
    Class c;
    auto server = c.process();
    ASSERT_EQ(c.act(*server, Requests::Kind::Open, {{QStringLiteral("entry"), 1}}).status, 200);
    const QJsonObject wrong = {{QStringLiteral("term"), 0}, {QStringLiteral("frame"), 1}};
    ASSERT_EQ(c.act(*server, Requests::Kind::Move, wrong).status, 200);
    for (int term = 1; term < static_cast<int>(Answer.size()); ++term) {
        ASSERT_EQ(c.move(*server, term).status, 200);
    }
    EXPECT_EQ(c.statements(), 1);
    const Reply again = c.act(*server, Requests::Kind::Move, wrong);
    ASSERT_EQ(again.status, 200);
    EXPECT_EQ(c.statements(), 2);
    EXPECT_EQ(framesOf(again).at(0), 1);
}

// Checking moves sent as fast as they go, to two servers sharing the store
// in turn: beyond ChecksPerSecond in any second they are refused with 429,
// and nothing of a refused one is kept (the next, on the same seq, is not
// stale).
TEST(LearnerSessions, ChecksAreBoundedAcrossServers)
{
    Class c;
    const std::array<std::unique_ptr<LearnerSessions>, 2> servers = {c.process(), c.process()};
    ASSERT_EQ(c.act(*servers[0], Requests::Kind::Open, {{QStringLiteral("entry"), 1}}).status, 200);
    int refused = 0;
    // Every term placed, the first in a wrong group; then each move of it checks again.
    for (int i = 0; i < 10 + 4 * LearnerSessions::ChecksPerSecond; ++i) {
        const int frame = i >= 10 ? 2 - i % 2 : i == 0 ? 1 : Answer.at(i);
        const int status =
            c.act(*servers.at(i % 2), Requests::Kind::Move,
                  {{QStringLiteral("term"), i >= 10 ? 0 : i}, {QStringLiteral("frame"), frame}})
                .status;
        ASSERT_TRUE(status == 200 || status == 429) << status;
        refused += status == 429 ? 1 : 0;
    }
    EXPECT_GT(refused, 0);
    QList<qint64> stamps;
    for (const QByteArray& line : c.store.statements(QStringLiteral("aoi"))) {
        QString why;
        stamps.append(Statements::parse(line, &why).value().timestampMs);
    }
    for (const qint64 at : stamps) {
        EXPECT_LE(std::count_if(stamps.begin(), stamps.end(),
                                [at](qint64 t) { return t > at - 1000 && t <= at; }),
                  LearnerSessions::ChecksPerSecond);
    }
}

} // namespace

// A mark of a problem of a series hidden from the learner's class is left
// off their marked list, and kept for when the series is shown again.
TEST(LearnerSessions, AMarkOfASeriesHiddenFromTheClassIsKeptButNotListed)
{
    Class c;
    const Problem first =
        SeriesLoader::load(QDir(c.dir.path()).filePath(QStringLiteral("Bio1.TXT"))).usable.first();
    ASSERT_EQ(c.store.appendMark(QStringLiteral("aoi"), Problems::record(first)), QString());
    const qint64 id = c.store.classes().value().first().id;
    for (const bool hidden : {false, true}) {
        ASSERT_EQ(c.store.setSeriesChoice(id, {QStringLiteral("Bio1.TXT"), hidden, {}}), QString());
        const std::unique_ptr<LearnerSessions> s = c.process();
        c.seq = c.state(*s).json.value(QStringLiteral("seq")).toInteger();
        const Reply opened = c.act(*s, Requests::Kind::Open, {{QStringLiteral("entry"), 0}});
        EXPECT_EQ(opened.json.value(QStringLiteral("screen")).toString(),
                  hidden ? QStringLiteral("list") : QStringLiteral("problem"))
            << "hidden " << hidden;
        if (!hidden) {
            c.act(*s, Requests::Kind::Press,
                  {{QStringLiteral("button"), QStringLiteral("toList")}});
        }
    }
    EXPECT_EQ(c.store.marks(QStringLiteral("aoi")).size(), 1);
}

QString roundKeyOf(const QJsonObject& state)
{
    return state.value(QStringLiteral("round")).toObject().value(QStringLiteral("key")).toString();
}

QStringList buttonsOf(const QJsonObject& state)
{
    QStringList ids;
    for (const QJsonValue b : state.value(QStringLiteral("buttons")).toArray()) {
        ids.append(b.toObject().value(QStringLiteral("id")).toString());
    }
    return ids;
}

// A class round: the learner's own board is kept as it was while they answer
// the teacher's problem, their moves are their row of the round for any
// server, their check names the round, and the round's end gives them back
// their own board.
TEST(LearnerSessions, AClassRoundKeepsTheLearnersOwnBoardAndGivesItBackAtItsEnd)
{
    Class c;
    auto server = c.process();
    ASSERT_EQ(c.act(*server, Requests::Kind::Open, {{QStringLiteral("entry"), 1}}).status, 200);
    ASSERT_EQ(c.move(*server, 0).status, 200);
    ASSERT_EQ(c.move(*server, 4).status, 200);
    const QList<int> own = framesOf(c.state(*server));
    QString round;
    ASSERT_EQ(c.store.startRound(c.store.learner(QStringLiteral("aoi"))->classId,
                                 QStringLiteral("Bio1.TXT"), 1, &round),
              QString());
    const Reply in = c.state(*server);
    EXPECT_EQ(in.json.value(QStringLiteral("round"))
                  .toObject()
                  .value(QStringLiteral("notice"))
                  .toString(),
              QStringLiteral("先生の問題です"));
    EXPECT_EQ(framesOf(in), QList<int>(10, -1));
    // A move made on the learner's own board is not put on the round's: it
    // is refused with the round's board, which the page takes up.
    const Reply own7 = c.move(*server, 7);
    EXPECT_EQ(own7.status, 409);
    c.round = roundKeyOf(own7.json.value(QStringLiteral("state")).toObject());
    EXPECT_EQ(c.round, roundKeyOf(in.json));
    EXPECT_EQ(c.act(*server, Requests::Kind::Open, {{QStringLiteral("entry"), 2}}).status, 409);
    ASSERT_EQ(c.move(*server, 7).status, 200);
    const auto boards = c.store.roundBoards(round, 1);
    ASSERT_TRUE(boards && boards->size() == 1);
    EXPECT_EQ(boards->first().placements.at(7), 2);
    EXPECT_FALSE(boards->first().answered);
    // Another server goes on with the same round board, the two in turn.
    auto other = c.process();
    EXPECT_EQ(framesOf(c.state(*other)).at(7), 2);
    for (int term = 0; term < 10; ++term) {
        if (term != 7) {
            ASSERT_EQ(c.move(term % 2 == 0 ? *other : *server, term).status, 200);
        }
    }
    EXPECT_TRUE(c.store.roundBoards(round, 1)->first().answered);
    // Solved, the round's problem offers no way off it, refused or not.
    const QStringList stay = {QStringLiteral("retry"), QStringLiteral("explanation"),
                              QStringLiteral("mark")};
    EXPECT_EQ(buttonsOf(c.state(*server).json), stay);
    const Reply leave = c.act(*server, Requests::Kind::Open, {{QStringLiteral("entry"), 2}});
    EXPECT_EQ(leave.status, 409);
    EXPECT_EQ(buttonsOf(leave.json.value(QStringLiteral("state")).toObject()), stay);
    ASSERT_EQ(c.statements(), 1);
    EXPECT_TRUE(c.store.statements(QStringLiteral("aoi"))
                    .first()
                    .contains(QStringLiteral("\"registration\":\"%1\"").arg(round).toUtf8()));
    ASSERT_EQ(c.store.endRound(round), QString());
    c.round.clear();
    const Reply back = c.state(*server);
    EXPECT_FALSE(back.json.contains(QStringLiteral("round")));
    EXPECT_EQ(framesOf(back), own);
}
