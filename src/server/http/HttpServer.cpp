#include "server/http/HttpServer.h"

#include "server/http/HttpRequestHead.h"
#include "server/http/ServerReplies.h"
#include "server/log/ServerLog.h"

#include <QDateTime>
#include <QPointer>
#include <QSslCipher>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// Requests read ahead of their answers on one connection.
constexpr std::size_t MaxPipelined = 16;
// Open files kept for the store, the statement forwarding and a new
// connection when the connections reach the limit.
constexpr rlim_t ReservedFiles = 64;
// How long a refused or closing connection is drained before it goes, so
// that its client reads the answer rather than a reset.
constexpr int LingerMs = 2000;
// What an event stream's client may leave unread before it is let go.
constexpr qint64 StreamBacklog = 64 * 1024;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QByteArray statusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 421:
        return "Misdirected Request";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Internal Server Error";
    }
}

// TLS 1.3's suites are all AEAD and forward secret; under 1.2 only ECDHE
// with GCM or ChaCha20-Poly1305.
bool forwardSecretAead(const QSslCipher& cipher)
{
    const QString name = cipher.name();
    if (cipher.protocol() == QSsl::TlsV1_3 || name.startsWith(QLatin1String("TLS_"))) {
        return true;
    }
    return name.startsWith(QLatin1String("ECDHE-")) &&
           (name.contains(QLatin1String("-GCM-")) ||
            name.contains(QLatin1String("CHACHA20-POLY1305")));
}

// As many open files as the system allows this process: the connections
// that may be open at once, with a reserve for everything else.
std::size_t connectionsAllowed()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 1000;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    const rlim_t files = std::min<rlim_t>(limit.rlim_cur, 1 << 20);
    return files > 2 * ReservedFiles ? files - ReservedFiles : files / 2;
}

} // namespace

// The server's side of every responder: cleared when the server goes, so
// that a late reply from another thread finds nothing to post to. A reply
// made on the server's thread goes out at once, not after the requests
// read with it.
struct HttpServer::Outbox {
    std::mutex mutex;
    HttpServer* server = nullptr;

    void post(quint64 id, quint64 sequence, HttpReply reply)
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (server == nullptr) {
            return;
        }
        if (QThread::currentThread() == server->thread()) {
            HttpServer* here = server;
            lock.unlock();
            here->deliver(id, sequence, std::move(reply));
            return;
        }
        QMetaObject::invokeMethod(
            server,
            [s = server, id, sequence, r = std::move(reply)]() mutable {
                s->deliver(id, sequence, std::move(r));
            },
            Qt::QueuedConnection);
    }

    void postStream(quint64 id, QByteArray bytes, bool end)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (server != nullptr) {
            QMetaObject::invokeMethod(
                server, [s = server, id, b = std::move(bytes), end] { s->stream(id, b, end); },
                Qt::QueuedConnection);
        }
    }
};

bool HttpStream::send(const QByteArray& bytes)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (ended_ || closing_) {
        return false;
    }
    if (sink_) {
        sink_(bytes, false);
    } else {
        waiting_ += bytes;
    }
    return true;
}

void HttpStream::close()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!ended_ && !closing_ && sink_) {
        sink_({}, true);
    }
    closing_ = true;
}

bool HttpStream::ended() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return ended_ || closing_;
}

struct HttpResponder::Pending {
    std::shared_ptr<HttpServer::Outbox> outbox;
    quint64 id = 0;
    quint64 sequence = 0;
    QByteArray path; // for the log of refusals
    std::atomic<bool> answered{false};

    ~Pending()
    {
        if (!answered) {
            outbox->post(id, sequence,
                         ServerReplies::refusal(500, QStringLiteral("答えを作れませんでした")));
        }
    }
};

void HttpResponder::operator()(HttpReply reply) const
{
    if (pending_ && !pending_->answered.exchange(true)) {
        if (reply.status >= 400) {
            ServerLog::refused(reply.status, QString::fromUtf8(pending_->path));
        }
        pending_->outbox->post(pending_->id, pending_->sequence, std::move(reply));
    }
}

// Takes each connection straight from the listening socket: no queue of
// pending connections, and a TLS handshake that never ends holds up no one
// but its own connection.
class HttpServer::Listener : public QTcpServer
{
public:
    explicit Listener(HttpServer* server) : QTcpServer(server), server_(server) {}

protected:
    void incomingConnection(qintptr descriptor) override { server_->accept(descriptor); }

private:
    HttpServer* server_;
};

struct HttpServer::Connection {
    quint64 id = 0;
    QTcpSocket* socket = nullptr;
    QTimer* timer = nullptr;
    QByteArray in; // the bytes of the request being read
    HttpRequestHead head{0};
    bool headRead = false;
    qint64 requestStartedMs = 0; // 0: no request begun
    quint64 nextSequence = 0;    // of the next request read
    quint64 nextToWrite = 0;     // of the next answer written
    std::map<quint64, HttpReply> ready;
    std::deque<bool> keepAlive; // of each request not answered yet
    bool stopped = false;       // reads no more requests
    bool reading = false;       // in readFrom, which an answer made there must not enter
    bool handshaking = false;
    bool lingering = false;
    qint64 acceptedMs = 0;
    qint64 sinceMs = 0;                 // of the last answer written, or the accept
    std::shared_ptr<HttpStream> stream; // the event stream it has become

    std::size_t unanswered() const { return static_cast<std::size_t>(nextSequence - nextToWrite); }
};

QByteArray HttpRequest::value(QByteArrayView name) const
{
    for (const auto& [key, v] : headers) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0) {
            return v;
        }
    }
    return {};
}

QByteArray HttpRequest::path() const
{
    QByteArrayView p = target;
    // An absolute target names this server, then the path.
    if (p.startsWith("http://") || p.startsWith("https://")) {
        const qsizetype slash = p.indexOf('/', p.indexOf("//") + 2);
        p = slash < 0 ? QByteArrayView("/") : p.sliced(slash);
    }
    const qsizetype query = p.indexOf('?');
    return (query < 0 ? p : p.first(query)).toByteArray();
}

HttpServer::HttpServer(Handler handler, Timeouts timeouts, qint64 maxBody, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), timeouts_(timeouts), maxBody_(maxBody),
      outbox_(std::make_shared<Outbox>())
{
    outbox_->server = this;
}

HttpServer::~HttpServer()
{
    {
        const std::lock_guard<std::mutex> lock(outbox_->mutex);
        outbox_->server = nullptr;
    }
    for (const auto& [id, c] : connections_) {
        if (c->stream) {
            const std::lock_guard<std::mutex> lock(c->stream->mutex_);
            c->stream->ended_ = true;
            c->stream->sink_ = nullptr;
        }
    }
}

void HttpServer::useTls(QSslConfiguration config)
{
    config.setProtocol(QSsl::TlsV1_2OrLater);
    QList<QSslCipher> ciphers;
    for (const QSslCipher& cipher : QSslConfiguration::supportedCiphers()) {
        if (forwardSecretAead(cipher)) {
            ciphers.append(cipher);
        }
    }
    config.setCiphers(ciphers);
    tls_ = config;
    secure_ = true;
}

// A class answering at once opens many connections in the same instant:
// Qt's usual queue of 50 would drop some, and the kernel only retries a
// dropped connection a second later.
quint16 HttpServer::listen(const QHostAddress& address, quint16 port,
                           QAbstractSocket::SocketError* error)
{
    maxConnections_ = connectionsAllowed();
    auto* listener = new Listener(this);
    listener->setListenBacklogSize(4096);
    if (!listener->listen(address, port)) {
        if (error != nullptr) {
            *error = listener->serverError();
        }
        delete listener;
        return 0;
    }
    // Out of files after all: make room and go on accepting.
    connect(listener, &QTcpServer::acceptError, this, [this, listener] {
        if (evictIdlest()) {
            listener->resumeAccepting();
        } else {
            QTimer::singleShot(100, listener, &QTcpServer::resumeAccepting);
        }
    });
    listener_ = listener;
    return listener->serverPort();
}

HttpServer::Connection* HttpServer::find(quint64 id)
{
    const auto it = connections_.find(id);
    return it == connections_.end() ? nullptr : it->second.get();
}

void HttpServer::accept(qintptr descriptor)
{
    // Near the limit of open files the connection idle longest goes, so
    // that a new one can still sign in.
    if (connections_.size() >= maxConnections_) {
        evictIdlest();
    }
    QTcpSocket* socket = secure_ ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        delete socket;
        return;
    }
    // A head's worth: the request being read is held in the connection.
    socket->setReadBufferSize(HttpRequestHead::MaxHead);
    auto c = std::make_unique<Connection>();
    c->head = HttpRequestHead(maxBody_);
    c->id = nextId_++;
    c->socket = socket;
    c->timer = new QTimer(socket);
    c->timer->setSingleShot(true);
    c->acceptedMs = c->sinceMs = now();
    Connection& added = *c;
    const quint64 id = c->id;
    connections_.emplace(id, std::move(c));
    watch(added);
    arm(added);
}

// What a connection's socket and timer set off; under TLS, its handshake.
void HttpServer::watch(Connection& c)
{
    const quint64 id = c.id;
    QTcpSocket* socket = c.socket;
    connect(socket, &QIODevice::readyRead, this, [this, id] {
        if (Connection* found = find(id)) {
            readFrom(*found);
        }
    });
    connect(socket, &QIODevice::bytesWritten, this, [this, id] { onWritten(id); });
    connect(c.timer, &QTimer::timeout, this, [this, id] { onTimeout(id); });
    // Later, so that a connection never goes while it is being served.
    connect(
        socket, &QAbstractSocket::disconnected, this, [this, id] { drop(id); },
        Qt::QueuedConnection);
    connect(
        socket, &QAbstractSocket::errorOccurred, this, [this, id] { drop(id); },
        Qt::QueuedConnection);
    if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
        c.handshaking = true;
        tls->setSslConfiguration(tls_);
        connect(tls, &QSslSocket::encrypted, this, [this, id] {
            if (Connection* found = find(id)) {
                found->handshaking = false;
                found->sinceMs = now();
                readFrom(*found);
            }
        });
        tls->startServerEncryption();
    }
}

// Reads requests while their answers are not too far behind; what the
// socket holds beyond stays in the kernel, which then holds back the
// client.
void HttpServer::readFrom(Connection& c)
{
    if (c.stopped || c.handshaking) {
        // Nothing more is read from it: what comes is dropped.
        c.socket->skip(c.socket->bytesAvailable());
        return;
    }
    c.reading = true;
    while (!c.stopped && c.unanswered() < MaxPipelined) {
        // One request's head and body: all a connection's reading ever holds.
        const qint64 most = HttpRequestHead::MaxHead + maxBody_;
        if (c.in.size() < most && c.socket->bytesAvailable() > 0) {
            c.in += c.socket->read(most - c.in.size());
        }
        if (c.in.isEmpty()) {
            break;
        }
        if (c.requestStartedMs == 0) {
            c.requestStartedMs = now();
        }
        if (!c.headRead) {
            const HttpRequestHead::Verdict verdict = c.head.read(c.in);
            if (verdict == HttpRequestHead::Verdict::NeedMore) {
                break;
            }
            if (verdict != HttpRequestHead::Verdict::Complete) {
                refuse(c, HttpRequestHead::status(verdict), HttpRequestHead::reason(verdict));
                break;
            }
            c.headRead = true;
        }
        if (c.in.size() < c.head.headLength() + c.head.bodyLength()) {
            break;
        }
        dispatch(c);
    }
    c.reading = false;
    arm(c);
}

void HttpServer::dispatch(Connection& c)
{
    const qint64 length = c.head.headLength() + c.head.bodyLength();
    HttpRequest request;
    request.method = c.head.method();
    request.target = c.head.target();
    request.headers = c.head.headers();
    request.body = c.in.mid(c.head.headLength(), c.head.bodyLength());
    request.peer = c.socket->peerAddress();
    request.secure = secure_;
    const bool keepAlive = c.head.keepAlive();
    c.in.remove(0, length);
    c.head.reset();
    c.headRead = false;
    c.requestStartedMs = c.in.isEmpty() ? 0 : now();
    c.stopped = !keepAlive;
    c.keepAlive.push_back(keepAlive);
    HttpResponder respond;
    respond.pending_ = std::make_shared<HttpResponder::Pending>();
    respond.pending_->outbox = outbox_;
    respond.pending_->id = c.id;
    respond.pending_->sequence = c.nextSequence++;
    respond.pending_->path = request.path();
    handler_(std::move(request), std::move(respond));
}

// A request that cannot be read is answered after those before it, and
// the connection then closes: whatever follows it cannot be told apart.
void HttpServer::refuse(Connection& c, int status, const QString& reason)
{
    ServerLog::refused(status, QStringLiteral("（読めない要求）"));
    c.stopped = true;
    c.in.clear();
    c.requestStartedMs = 0;
    c.keepAlive.push_back(false);
    const quint64 sequence = c.nextSequence++;
    c.ready.emplace(sequence, ServerReplies::refusal(status, reason));
    c.socket->skip(c.socket->bytesAvailable());
    writeReady(c);
}

void HttpServer::deliver(quint64 id, quint64 sequence, HttpReply reply)
{
    if (Connection* c = find(id); c != nullptr && !c->lingering) {
        c->ready.emplace(sequence, std::move(reply));
        writeReady(*c);
        // The answer may have made room for requests waiting behind it.
        if (!c->lingering && !c->reading) {
            readFrom(*c);
        }
    }
}

// Writes the answers that are next in order, each as soon as it is there.
void HttpServer::writeReady(Connection& c)
{
    bool wrote = false;
    for (auto it = c.ready.find(c.nextToWrite); it != c.ready.end();
         it = c.ready.find(c.nextToWrite)) {
        const bool keepAlive = c.keepAlive.front();
        c.keepAlive.pop_front();
        if (it->second.stream) {
            const std::shared_ptr<HttpStream> stream = it->second.stream;
            c.socket->write(serialise(it->second, false));
            c.ready.erase(it);
            ++c.nextToWrite;
            startStream(c, stream);
            wrote = true;
            break;
        }
        c.socket->write(serialise(it->second, keepAlive));
        c.ready.erase(it);
        ++c.nextToWrite;
        c.sinceMs = now();
        wrote = true;
        if (!keepAlive) {
            closeGently(c);
            break;
        }
    }
    if (wrote) {
        c.socket->flush();
    }
    arm(c);
}

// The connection is the stream's from now on: it reads no more requests,
// and what the stream was given before goes out now.
void HttpServer::startStream(Connection& c, const std::shared_ptr<HttpStream>& stream)
{
    c.stopped = true;
    c.sinceMs = now();
    c.stream = stream;
    const std::lock_guard<std::mutex> lock(stream->mutex_);
    if (stream->closing_ || stream->ended_) {
        closeGently(c);
        return;
    }
    c.socket->write(std::exchange(stream->waiting_, {}));
    stream->sink_ = [outbox = outbox_, id = c.id](const QByteArray& bytes, bool end) {
        outbox->postStream(id, bytes, end);
    };
}

void HttpServer::stream(quint64 id, const QByteArray& bytes, bool end)
{
    Connection* c = find(id);
    if (c == nullptr || c->lingering) {
        return;
    }
    if (end) {
        closeGently(*c);
        return;
    }
    // A client that does not read what it is sent holds no more of it here.
    if (c->socket->bytesToWrite() > StreamBacklog) {
        drop(id);
        return;
    }
    c->socket->write(bytes);
    c->socket->flush();
}

// Ends the connection once its answers are out: shuts the sending side
// and reads until the client closes, or for a short while.
void HttpServer::closeGently(Connection& c)
{
    c.lingering = true;
    c.stopped = true;
    c.ready.clear();
    // TLS ends with its own closing message once everything is sent.
    if (secure_) {
        c.socket->disconnectFromHost();
    } else if (c.socket->bytesToWrite() == 0) {
        c.socket->flush();
        ::shutdown(static_cast<int>(c.socket->socketDescriptor()), SHUT_WR);
    }
}

void HttpServer::onWritten(quint64 id)
{
    Connection* c = find(id);
    if (c == nullptr) {
        return;
    }
    if (c->lingering && !secure_ && c->socket->bytesToWrite() == 0) {
        ::shutdown(static_cast<int>(c->socket->socketDescriptor()), SHUT_WR);
    }
    c->sinceMs = now();
    arm(*c);
}

void HttpServer::onTimeout(quint64 id)
{
    Connection* c = find(id);
    if (c == nullptr) {
        return;
    }
    // A request begun and not finished in time is told so; anything else
    // simply goes.
    if (c->requestStartedMs != 0 && !c->stopped && !c->handshaking && c->unanswered() == 0) {
        refuse(*c, 408, QStringLiteral("要求が時間内に届きませんでした"));
        return;
    }
    drop(id);
}

// The one timer of a connection, set for what it waits for now.
void HttpServer::arm(Connection& c)
{
    const qint64 idleMs = qint64(timeouts_.idleSeconds) * 1000;
    const qint64 requestMs = qint64(timeouts_.requestSeconds) * 1000;
    qint64 deadline = 0;
    if (c.handshaking) {
        deadline = c.acceptedMs + requestMs;
    } else if (c.lingering) {
        deadline = c.sinceMs + LingerMs;
    } else if (c.requestStartedMs != 0) {
        deadline = c.requestStartedMs + requestMs;
    } else if (c.unanswered() > 0 && c.socket->bytesToWrite() == 0) {
        // The answer is this program's to give: no client holds it up.
        c.timer->stop();
        return;
    } else {
        deadline = c.sinceMs + idleMs;
    }
    c.timer->start(static_cast<int>(std::clamp<qint64>(deadline - now(), 0, idleMs + requestMs)));
}

// Closes the connection that has waited longest for a request of its
// own; one whose answer is being made is left alone.
bool HttpServer::evictIdlest()
{
    Connection* idlest = nullptr;
    for (const auto& [id, c] : connections_) {
        const bool served = c->unanswered() > 0 && !c->lingering;
        if (!served && (idlest == nullptr || c->sinceMs < idlest->sinceMs)) {
            idlest = c.get();
        }
    }
    if (idlest == nullptr) {
        return false;
    }
    drop(idlest->id);
    return true;
}

void HttpServer::drop(quint64 id)
{
    const auto it = connections_.find(id);
    if (it == connections_.end()) {
        return;
    }
    QTcpSocket* socket = it->second->socket;
    if (const std::shared_ptr<HttpStream> stream = it->second->stream) {
        const std::lock_guard<std::mutex> lock(stream->mutex_);
        stream->ended_ = true;
        stream->sink_ = nullptr;
    }
    connections_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

QByteArray HttpServer::serialise(const HttpReply& reply, bool keepAlive) const
{
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + statusText(reply.status) + "\r\n";
    head +=
        "Content-Type: " + (reply.stream ? QByteArray("text/event-stream") : reply.type) + "\r\n";
    // A stream runs until the connection closes; a proxy is asked not to
    // hold its events back.
    head += reply.stream ? QByteArray("X-Accel-Buffering: no\r\n")
                         : "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    bool cacheSet = false;
    bool policySet = false;
    for (const auto& [key, value] : reply.headers) {
        head += key + ": " + value + "\r\n";
        cacheSet = cacheSet || key == "Cache-Control";
        policySet = policySet || key == "Content-Security-Policy";
    }
    // The page runs only its own script and style, in no one else's frame.
    if (!policySet) {
        head += "Content-Security-Policy: default-src 'self'; img-src 'self' data:; "
                "media-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'\r\n";
        head += "X-Frame-Options: DENY\r\n";
    }
    head += "X-Content-Type-Options: nosniff\r\nReferrer-Policy: same-origin\r\n";
    if (!cacheSet) {
        head += "Cache-Control: no-store\r\n";
    }
    if (secure_) {
        head += "Strict-Transport-Security: max-age=31536000\r\n";
    }
    if (!keepAlive) {
        head += "Connection: close\r\n";
    }
    return head + "\r\n" + reply.body;
}
