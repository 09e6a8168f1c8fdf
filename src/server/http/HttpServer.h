#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslConfiguration>

#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

class QTcpServer;
class QTcpSocket;

// One request as it came: the target and the headers as sent, never
// decoded.
struct HttpRequest {
    QByteArray method;
    QByteArray target;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QHostAddress peer;
    bool secure = false;

    // The first header of that name (any case), or an empty value.
    QByteArray value(QByteArrayView name) const;
    // The target up to its query, as sent.
    QByteArray path() const;
};

class HttpStream;

struct HttpReply {
    int status = 200;
    QByteArray type = "application/json; charset=utf-8";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // An event stream (text/event-stream): the answer goes on, `body` first,
    // with whatever the stream is given, until either side ends it.
    std::shared_ptr<HttpStream> stream;
};

// Server-sent events on one connection, written as they come from any
// thread. The connection reads no more requests, counts as one among the
// connections, and goes like any other when idle: its sender keeps it
// alive with a comment now and then. A client that stops reading is let go.
class HttpStream
{
public:
    // False once the stream has ended (the connection is gone, or closed);
    // until the head is written what is sent waits here.
    bool send(const QByteArray& bytes);
    void close();
    bool ended() const;

private:
    friend class HttpServer;
    mutable std::mutex mutex_;
    // To the connection, on the server's thread, once the head is written:
    // bytes, or the end.
    std::function<void(const QByteArray&, bool)> sink_;
    QByteArray waiting_;
    bool ended_ = false;
    bool closing_ = false;
};

// Answers one request. Call it once, from any thread, at once or later: the
// reply goes to the server's thread and out in the order the requests came.
// A reply for a connection that has closed goes nowhere; a request never
// answered is answered 500 when the last copy of its responder goes.
class HttpResponder
{
public:
    void operator()(HttpReply reply) const;

private:
    friend class HttpServer;
    struct Pending;
    std::shared_ptr<Pending> pending_;
};

// The classroom's HTTP/1.1 server, on the thread of the event loop: keeps
// connections alive, answers pipelined requests in order and writes each
// answer as soon as it is ready. What one connection can make it hold or
// wait for is bounded: a head of 16 KB, a body of 64 KB, a request that
// must arrive within the request timeout, an idle connection that goes
// after the idle timeout, and, under TLS, a handshake that must end within
// the request timeout. The writer here is the only one: every reply gets
// its status line, length and the page's security headers here.
class HttpServer : public QObject
{
public:
    using Handler = std::function<void(HttpRequest, HttpResponder)>;
    struct Timeouts {
        int idleSeconds = 30;
        int requestSeconds = 10;
    };

    // Bodies over `maxBody` bytes are refused (413).
    HttpServer(Handler handler, Timeouts timeouts, qint64 maxBody, QObject* parent = nullptr);
    ~HttpServer() override;

    // Serves over TLS 1.2 or later, with only forward-secret AEAD suites
    // under 1.2, the certificate and key of `config`.
    void useTls(QSslConfiguration config);
    // Starts listening; the port listened on, 0 when it cannot (and why in
    // `error`, when given).
    quint16 listen(const QHostAddress& address, quint16 port,
                   QAbstractSocket::SocketError* error = nullptr);

private:
    friend class HttpResponder;
    struct Connection;
    struct Outbox;
    class Listener;

    void accept(qintptr descriptor);
    void watch(Connection& c);
    void readFrom(Connection& c);
    void dispatch(Connection& c);
    void refuse(Connection& c, int status, const QString& reason);
    void deliver(quint64 id, quint64 sequence, HttpReply reply);
    // An event stream's bytes, or its end (`bytes` empty, `end`).
    void stream(quint64 id, const QByteArray& bytes, bool end);
    void startStream(Connection& c, const std::shared_ptr<HttpStream>& stream);
    void writeReady(Connection& c);
    void closeGently(Connection& c);
    void onWritten(quint64 id);
    void onTimeout(quint64 id);
    void arm(Connection& c);
    bool evictIdlest();
    void drop(quint64 id);
    Connection* find(quint64 id);
    // The bytes of a reply as written.
    QByteArray serialise(const HttpReply& reply, bool keepAlive) const;

    Handler handler_;
    Timeouts timeouts_;
    qint64 maxBody_;
    std::shared_ptr<Outbox> outbox_;
    QTcpServer* listener_ = nullptr;
    bool secure_ = false;
    QSslConfiguration tls_;
    std::unordered_map<quint64, std::unique_ptr<Connection>> connections_;
    quint64 nextId_ = 1;
    std::size_t maxConnections_ = 1000;
};
