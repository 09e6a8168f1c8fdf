// The route tables: a request's method and path lead to one route, a known
// path asked with another method is told apart from an unknown one, only
// the sign-ins are open to anyone, and the page's verbs are read alike for
// the learner's routes and the editor's preview.
#include "server/http/HttpRoutes.h"
#include "server/learner/LearnerRoutes.h"
#include "server/learner/VerbProtocol.h"
#include "server/teacher/TeacherRoutes.h"

#include <gtest/gtest.h>

namespace
{

using HttpRoutes::Access;

TEST(HttpRoutes, TakesTheFirstRouteOfTheMethodAndTellsAKnownPathFromAnUnknownOne)
{
    const HttpRoutes::Table<int> table = {
        {"GET", u"/teacher/cards", Access::TeacherSession, 1},
        {"POST", u"/api/teacher/add", Access::TeacherSession, 2},
        {"GET", u"/teacher/*", Access::TeacherSession, 3},
        {"POST", u"/api/teacher/preview/*", Access::TeacherSession, 4},
    };
    const auto handler = [&table](const char* method, const char16_t* path, bool* known) {
        const HttpRoutes::Route<int>* r = HttpRoutes::find(table, method, path, known);
        return r != nullptr ? r->handler : 0;
    };
    bool known = false;
    EXPECT_EQ(handler("GET", u"/teacher/cards", &known), 1);
    EXPECT_EQ(handler("GET", u"/teacher/report", &known), 3);
    EXPECT_EQ(handler("POST", u"/api/teacher/preview/move", &known), 4);
    EXPECT_FALSE(known);
    // A prefix is no path of its own, nor a path that only begins alike.
    EXPECT_EQ(handler("POST", u"/api/teacher/preview", &known), 0);
    EXPECT_EQ(handler("GET", u"/teacherx", &known), 0);
    EXPECT_EQ(handler("POST", u"/api/teacher/addx", &known), 0);
    EXPECT_FALSE(known);
    EXPECT_EQ(handler("GET", u"/api/teacher/add", &known), 0);
    EXPECT_TRUE(known);
}

template <typename Handler>
QStringList openToAnyone(const HttpRoutes::Table<Handler>& table, Access session)
{
    QStringList open;
    for (const HttpRoutes::Route<Handler>& r : table) {
        EXPECT_TRUE(r.access == Access::Anyone || r.access == session)
            << r.path.toString().toStdString();
        if (r.access == Access::Anyone) {
            open.append(QString::fromLatin1(r.method) + u' ' + r.path.toString());
        }
    }
    return open;
}

TEST(RouteTables, OnlyTheSignInsAreOpenToAnyone)
{
    EXPECT_EQ(openToAnyone(LearnerRoutes::routes(), Access::LearnerSession),
              QStringList{QStringLiteral("POST /api/signin")});
    EXPECT_EQ(openToAnyone(TeacherRoutes::routes(), Access::TeacherSession),
              QStringList{QStringLiteral("POST /api/teacher/signin")});
}

TEST(VerbProtocol, ReadsAVerbOrSaysWhyNot)
{
    const VerbProtocol::Read move =
        VerbProtocol::read(u"move", R"({"term":2,"frame":1,"seq":7,"key":"abcdefgh"})");
    ASSERT_TRUE(move.command);
    EXPECT_EQ(move.command->kind, Requests::Kind::Move);
    EXPECT_EQ(move.command->move.frame, 1);
    EXPECT_EQ(move.command->seq, 7);

    const VerbProtocol::Read unknown = VerbProtocol::read(u"solve", "{}");
    EXPECT_FALSE(unknown.command);
    EXPECT_EQ(unknown.status, 404);
    // Signing in is no verb of the board.
    EXPECT_EQ(VerbProtocol::read(u"signin", R"({"code":"ABCD2345"})").status, 404);

    const VerbProtocol::Read bad = VerbProtocol::read(u"press", R"({"button":"solve","seq":1})");
    EXPECT_FALSE(bad.command);
    EXPECT_EQ(bad.status, 400);
    EXPECT_FALSE(bad.why.isEmpty());
}

} // namespace
