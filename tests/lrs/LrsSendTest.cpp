// Sending a folder's statements to a statement endpoint that is down for a
// while and once too slow: each statement arrives, none is lost.
#include "lrs/LrsSender.h"
#include "record/AnswerLog.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace
{

// The test's endpoint (endpoint.py), started with `options`.
class Endpoint
{
public:
    Endpoint(const QTemporaryDir& dir, const QStringList& options)
        : portFile_(dir.filePath(QStringLiteral("port"))),
          store_(dir.filePath(QStringLiteral("store.jsonl")))
    {
        process_.start(
            QStringLiteral("python3"),
            QStringList{TestFiles::sourceDir() + QStringLiteral("/tests/lrs/endpoint.py"),
                        portFile_, store_, QStringLiteral("teacher:secret")} +
                options);
        for (int i = 0; i < 200 && !QFile::exists(portFile_); ++i) {
            QThread::msleep(25);
        }
    }
    ~Endpoint()
    {
        process_.kill();
        process_.waitForFinished();
    }
    QUrl url() const
    {
        QFile f(portFile_);
        return f.open(QIODevice::ReadOnly) ? QUrl(QStringLiteral("http://127.0.0.1:%1/xapi")
                                                      .arg(QString::fromLatin1(f.readAll())))
                                           : QUrl();
    }
    // The ids of the statements kept, each as often as it was kept.
    QStringList kept() const
    {
        QStringList ids;
        QFile f(store_);
        if (f.open(QIODevice::ReadOnly)) {
            while (!f.atEnd()) {
                ids.append(QJsonDocument::fromJson(f.readLine())
                               .object()
                               .value(QStringLiteral("id"))
                               .toString());
            }
        }
        return ids;
    }

private:
    QString portFile_;
    QString store_;
    QProcess process_;
};

LrsSender::Settings settings(const QUrl& url, const QByteArray& password, int tries)
{
    LrsSender::Settings s;
    s.endpoint = url;
    s.authorization = "Basic " + ("teacher:" + password).toBase64();
    s.tries = tries;
    s.firstWaitMs = 20;
    s.timeoutMs = 1000;
    return s;
}

LrsSender::Summary send(const QString& folder, const LrsSender::Settings& s)
{
    LrsOutbox outbox(folder, s.endpoint.toString());
    EXPECT_EQ(outbox.load(), QString());
    return LrsSender(s).sendFolder(outbox);
}

} // namespace

TEST(LrsSend, EveryStatementArrivesAfterTheStoreWasDown)
{
    int argc = 1;
    char name[] = "lrs_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    QTemporaryDir store;
    QSet<QString> written;
    for (const QString& learner : {QStringLiteral("a"), QStringLiteral("b")}) {
        AnswerLog log(work.path(), learner);
        for (int i = 0; i < 60; ++i) {
            Answer a;
            a.learner = a.learnerName = learner;
            a.series = QStringLiteral("S.TXT");
            a.problemHash = QStringLiteral("0123456789abcdef");
            a.heading = QStringLiteral("問題%1").arg(i);
            a.terms = QStringList{QStringLiteral("ウニ")};
            a.groups = QStringList{QStringLiteral("棘皮動物")};
            a.correct = a.placed = QList<int>{1};
            a.success = true;
            a.right = 1;
            a.timestampMs = 1796000000000 + i * 1000;
            a.id = QUuid::createUuid();
            ASSERT_EQ(log.append(a), QString());
            written.insert(a.id.toString(QUuid::WithoutBraces));
        }
    }
    // POSTs 2 to 4 fail; POST 6 is kept but answered too late.
    Endpoint endpoint(store, {QStringLiteral("--fail"), QStringLiteral("3"),
                              QStringLiteral("--slow-at"), QStringLiteral("6")});
    ASSERT_TRUE(endpoint.url().isValid());

    LrsSender::Summary wrongPassword = send(work.path(), settings(endpoint.url(), "guess", 2));
    EXPECT_EQ(wrongPassword.sent, 0);
    EXPECT_EQ(wrongPassword.unsent, 120);

    // a's first 50 go; the store is down for a's last 10 beyond two tries.
    LrsSender::Summary down = send(work.path(), settings(endpoint.url(), "secret", 2));
    EXPECT_EQ(down.sent, 50);
    EXPECT_EQ(down.unsent, 70);
    EXPECT_EQ(endpoint.kept().size(), 50);

    // Back: the rest, and b's first 50 twice (kept, but answered too late,
    // then 409 for the ids the store has): not an error.
    LrsSender::Summary back = send(work.path(), settings(endpoint.url(), "secret", 3));
    EXPECT_EQ(back.sent, 70) << back.problems.join('\n').toStdString();
    EXPECT_EQ(back.unsent, 0);
    EXPECT_TRUE(back.problems.isEmpty()) << back.problems.join('\n').toStdString();

    const QStringList kept = endpoint.kept();
    EXPECT_EQ(kept.size(), 120) << "each statement once in the store";
    EXPECT_EQ(QSet<QString>(kept.begin(), kept.end()), written);

    LrsSender::Summary again = send(work.path(), settings(endpoint.url(), "secret", 1));
    EXPECT_EQ(again.sent, 0);
    EXPECT_EQ(again.unsent, 0);
}
