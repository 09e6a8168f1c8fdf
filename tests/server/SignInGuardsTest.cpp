// What guards sign-in: guesses counted before they are checked, and only
// the server's own names answered.
#include "server/http/ServerNames.h"
#include "server/http/SignInLimits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{

TEST(SignInLimits, GuessesAtOnceNeverPassTheAllowance)
{
    SignInLimits limits;
    const QString key = QStringLiteral("learner 10.0.0.1");
    const qint64 at = 1000000;
    std::atomic<int> granted{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 8; ++t) {
        senders.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                granted += limits.reserve(key, 100, at).granted ? 1 : 0;
            }
        });
    }
    for (std::thread& t : senders) {
        t.join();
    }
    EXPECT_EQ(granted, 100);
    const SignInLimits::Verdict refused = limits.reserve(key, 100, at + 1500);
    EXPECT_FALSE(refused.granted);
    EXPECT_EQ(refused.retryAfterSeconds, 59);
    EXPECT_FALSE(refused.newlyRefused) << "told once, at the first refusal";
    EXPECT_TRUE(limits.reserve(QStringLiteral("learner 10.0.0.2"), 100, at).granted);
    // A right code gives its slot back; a minute on, every slot is free.
    limits.release(key, at);
    EXPECT_TRUE(limits.reserve(key, 100, at + 2000).granted);
    EXPECT_FALSE(limits.reserve(key, 100, at + 2000).granted);
    EXPECT_TRUE(limits.reserve(key, 100, at + SignInLimits::WindowMs).granted);
}

TEST(SignInLimits, AnIPv6NetworkIsOneAddress)
{
    const auto key = [](const char* a) {
        return SignInLimits::addressKey(QHostAddress(QString::fromLatin1(a)));
    };
    EXPECT_EQ(key("2001:db8:1:2:aaaa::1"), key("2001:db8:1:2:bbbb::9"));
    EXPECT_NE(key("2001:db8:1:2::1"), key("2001:db8:1:3::1"));
    EXPECT_EQ(key("::ffff:10.0.0.1"), QStringLiteral("10.0.0.1"));
    EXPECT_NE(key("10.0.0.1"), key("10.0.0.2"));
}

TEST(ServerNames, OnlyItsOwnNamesWithAnyPort)
{
    ServerNames names(QHostAddress(QStringLiteral("192.0.2.7")),
                      {QStringLiteral("Class.Example"), QStringLiteral("fd00::5"),
                       QStringLiteral("[fd00::6]:8443"), QStringLiteral("教室.example")});
    using V = ServerNames::Verdict;
    const QList<std::pair<const char*, V>> hosts = {
        {"class.example", V::Ours},
        {"CLASS.example.:8081", V::Ours},
        {"192.0.2.7:8080", V::Ours},
        {"localhost:8080", V::Ours},
        {"[fd00::5]:80", V::Ours},
        {"[FD00:0::6]", V::Ours},
        {"xn--wbtt9t.example", V::Ours},
        {"rebind.example", V::Foreign},
        {"class.example.rebind.example", V::Foreign},
        {"192.0.2.8", V::Foreign},
        {"[fd00::7]", V::Foreign},
        {"", V::Malformed},
        {"fd00::5", V::Malformed},
        {"[fd00::5", V::Malformed},
        {"class.example:80:80", V::Malformed},
        {"class.example:http", V::Malformed},
        {"class example", V::Malformed},
    };
    for (const auto& [host, verdict] : hosts) {
        EXPECT_EQ(names.judge(QByteArrayView(host)), verdict) << host;
    }
}

} // namespace
