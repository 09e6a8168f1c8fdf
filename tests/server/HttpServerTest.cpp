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

// An event stream: its head has no length, what is sent before the head
// is written and after it arrives in order, and the stream knows when its
// client has gone.
TEST(HttpServer, StreamsEventsUntilTheClientGoes)
{
    const auto stream = std::make_shared<HttpStream>();
    HttpServer server(
        [&](const HttpRequest&, const HttpResponder& respond) {
            stream->send("data: 1\n\n");
            HttpReply reply;
            reply.stream = stream;
            reply.body = ": open\n\n";
            respond(reply);
        },
        {}, 64 * 1024);
    const quint16 port = server.listen(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    client.write("GET /events HTTP/1.1\r\nHost: h\r\n\r\n");
    QByteArray got;
    const auto readUntil = [&](const char* text) {
        QElapsedTimer waited;
        waited.start();
        while (!got.contains(text) && waited.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            got += client.readAll();
        }
    };
    readUntil("data: 1");
    EXPECT_TRUE(stream->send("data: 2\n\n"));
    readUntil("data: 2");
    EXPECT_TRUE(got.contains("Content-Type: text/event-stream\r\n")) << got.toStdString();
    EXPECT_FALSE(got.contains("Content-Length")) << got.toStdString();
    EXPECT_LT(got.indexOf(": open"), got.indexOf("data: 1"));
    EXPECT_LT(got.indexOf("data: 1"), got.indexOf("data: 2"));
    client.abort();
    QElapsedTimer waited;
    waited.start();
    while (!stream->ended() && waited.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(stream->ended());
    EXPECT_FALSE(stream->send("data: 3\n\n"));
}

} // namespace
