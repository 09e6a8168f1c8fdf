// The transport's promise to the code that answers: requests sent one after
// another on a connection are answered in their order, whichever thread
// answers them and however late.
#include "server/http/HttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

TEST(HttpServer, AnswersPipelinedRequestsInOrderFromOtherThreads)
{
    std::mutex mutex;
    std::vector<std::thread> workers;
    // The first request is answered last, each from a thread of its own.
    HttpServer server(
        [&](const HttpRequest& request, const HttpResponder& respond) {
            const auto delay = std::chrono::milliseconds(request.target == "/slow" ? 300 : 10);
            const std::lock_guard<std::mutex> lock(mutex);
            workers.emplace_back([delay, target = request.target, respond] {
                std::this_thread::sleep_for(delay);
                HttpReply reply;
                reply.body = target;
                respond(reply);
            });
        },
        {}, 64 * 1024);
    const quint16 port = server.listen(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    client.write("GET /slow HTTP/1.1\r\nHost: h\r\n\r\nGET /fast HTTP/1.1\r\nHost: h\r\n\r\n"
                 "GET /last HTTP/1.0\r\n\r\n");
    QByteArray got;
    QElapsedTimer waited;
    waited.start();
    while (client.state() != QAbstractSocket::UnconnectedState && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        got += client.readAll();
    }
    got += client.readAll();
    for (std::thread& t : workers) {
        t.join();
    }
    const qsizetype slow = got.indexOf("\r\n\r\n/slow");
    const qsizetype fast = got.indexOf("\r\n\r\n/fast");
    const qsizetype last = got.indexOf("Connection: close\r\n\r\n/last");
    EXPECT_TRUE(slow >= 0 && slow < fast && fast < last) << got.toStdString();
    EXPECT_EQ(got.count("HTTP/1.1 200 OK\r\n"), 3);
}

} // namespace
