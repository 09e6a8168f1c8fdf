// A class folder's velmorant.conf under the command line's options.
#include "server/admin/FolderSettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

using ServerCommandLine::Request;

class FolderSettingsTest : public ::testing::Test
{
protected:
    FolderSettings::Settings readFile(const QByteArray& text,
                                      QFileDevice::Permissions mode = QFileDevice::ReadOwner |
                                                                      QFileDevice::WriteOwner)
    {
        QFile file(dir.filePath(QStringLiteral("velmorant.conf")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        file.setPermissions(mode);
        return FolderSettings::read(dir.path());
    }

    static Request commandLine(const QStringList& words)
    {
        return ServerCommandLine::read(QStringList{QStringLiteral("velmorant-server")} + words);
    }

    QTemporaryDir dir;
};

TEST_F(FolderSettingsTest, CommandLineWinsButNeverForTheStore)
{
    const FolderSettings::Settings s = readFile("\xef\xbb\xbf# 3-A\n"
                                                "  listen = 0.0.0.0\n"
                                                "port=9000 # the school's\n"
                                                "database = postgresql://v@/class#1?host=/run/pg\n"
                                                "tls-cert = keys/cert.pem\n"
                                                "tls-key = /etc/velmorant/key.pem\n"
                                                "sign-out-after = 20\r\n");
    ASSERT_TRUE(s.error.isEmpty()) << s.error.toStdString();
    Request r = commandLine({QStringLiteral("--port"), QStringLiteral("8081")});
    ASSERT_EQ(FolderSettings::merge(s, r), QString());
    EXPECT_EQ(r.port, 8081);
    EXPECT_EQ(r.listen, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(r.database, QStringLiteral("postgresql://v@/class#1?host=/run/pg"));
    EXPECT_EQ(r.tlsCert, dir.filePath(QStringLiteral("keys/cert.pem")));
    EXPECT_EQ(r.tlsKey, QStringLiteral("/etc/velmorant/key.pem"));
    EXPECT_EQ(r.signOutAfterMinutes, 20);

    Request same = commandLine({QStringLiteral("--database"), r.database});
    EXPECT_EQ(FolderSettings::merge(s, same), QString());
    Request other =
        commandLine({QStringLiteral("--database"), QStringLiteral("postgresql://v@/x")});
    EXPECT_TRUE(FolderSettings::merge(s, other).contains(QStringLiteral("の4行目と違います")));
    Request group = commandLine({QStringLiteral("--group"), QStringLiteral("adm")});
    EXPECT_FALSE(FolderSettings::merge(s, group).isEmpty());
}

TEST_F(FolderSettingsTest, AFaultIsNamedByItsLine)
{
    const QList<std::pair<QByteArray, QString>> faults = {
        {"port = 80\nsign-out-after = 0\n", QStringLiteral("の2行目: sign-out-after の値「0」")},
        {"\n\nlisten = 0.0.0.0\nlisten = ::\n", QStringLiteral("の4行目: 「listen」は3行目にも")},
        {"port 8080\n", QStringLiteral("の1行目: 「項目 = 値」の形ではありません")},
        {"# ok\nidle_timeout = 5\n", QStringLiteral("の2行目: 知らない項目「idle_timeout」")},
        {"group =\n", QStringLiteral("の1行目: group の値「」")},
        {"server-name = class.example, a b\n", QStringLiteral("の1行目: server-name の値")},
        {"lrs = \xff\n", QStringLiteral("UTF-8 で保存してください")}};
    for (const auto& [text, want] : faults) {
        const FolderSettings::Settings s = readFile(text);
        EXPECT_TRUE(s.error.contains(want)) << text.toStdString() << ": " << s.error.toStdString();
        EXPECT_TRUE(s.error.contains(dir.filePath(QStringLiteral("velmorant.conf"))));
        EXPECT_TRUE(s.values.isEmpty());
    }
}

TEST_F(FolderSettingsTest, ADatabasePasswordOthersCanReadIsRefused)
{
    const QByteArray text = "database = postgresql://v:secret@db/class\n";
    EXPECT_TRUE(readFile(text).error.isEmpty());
    EXPECT_FALSE(readFile(text, QFileDevice::ReadOwner | QFileDevice::ReadOther).error.isEmpty());
    EXPECT_TRUE(FolderSettings::read(dir.filePath(QStringLiteral("none"))).values.isEmpty());
}

} // namespace
