#pragma once

#include <QHash>
#include <QList>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// A small HTTP/1.1 server on 127.0.0.1 for the fetch tests, or an HTTPS one
// when it is given a certificate and its key. It runs in the thread that made
// it, so it answers while a fetch's local event loop runs. Each path has a
// queue of answers: each request takes the next one, and the last one is given
// again and again. Every answer closes its connection. A whole answer with an
// entity tag or a date answers 304 to a request that names them, as a web
// server does.
class TestHttpServer final : public QObject
{
public:
    struct Answer
    {
        enum class Kind {
            Full,       // status line, headers, Content-Length and the body
            Truncated,  // announces the whole body, sends `sent` bytes of it, closes
            NoLength,   // no Content-Length: the body ends when the connection closes
            Stall,      // head and `sent` bytes, then silence with the connection open
            Silent,     // reads the request and never answers
            Redirect,   // 302 to `location`
            Drip,       // head, then one byte of the body every 20 ms
        };
        Kind kind = Kind::Full;
        int status = 200;
        QByteArray body = {};
        qsizetype sent = 0;
        QByteArray location = {};
        QByteArray etag = {};          // sent as ETag
        QByteArray lastModified = {};  // sent as Last-Modified, an HTTP date

        static Answer ok(QByteArray body) { return {Kind::Full, 200, body}; }
        static Answer error(int status, QByteArray body) { return {Kind::Full, status, body}; }
        static Answer truncated(QByteArray body, qsizetype sent) { return {Kind::Truncated, 200, body, sent}; }
        static Answer withoutLength(QByteArray body) { return {Kind::NoLength, 200, body}; }
        static Answer stall(QByteArray body, qsizetype sent) { return {Kind::Stall, 200, body, sent}; }
        static Answer silent() { return {Kind::Silent}; }
        static Answer redirect(QByteArray location) { return {Kind::Redirect, 302, {}, 0, location}; }
        static Answer drip(QByteArray body) { return {Kind::Drip, 200, body}; }
        static Answer tagged(QByteArray body, QByteArray etag, QByteArray lastModified = {})
        {
            return {Kind::Full, 200, body, 0, {}, etag, lastModified};
        }
    };

    explicit TestHttpServer(const QSslConfiguration *tls = nullptr)
    {
        if (tls) {
            auto server = std::make_unique<QSslServer>();
            server->setSslConfiguration(*tls);
            m_server = std::move(server);
        } else {
            m_server = std::make_unique<QTcpServer>();
        }
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            qFatal("test server cannot listen: %s", qPrintable(m_server->errorString()));
        // A TLS connection is pending once its handshake is done, after newConnection.
        connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    m_requests.remove(socket);
                    socket->deleteLater();
                });
            }
        });
    }

    // "http://127.0.0.1:<port>", or "https://..."
    QString base() const
    {
        const char *scheme = qobject_cast<QSslServer *>(m_server.get()) ? "https" : "http";
        return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(m_server->serverPort());
    }
    QString url(const QByteArray &path) const { return base() + QString::fromLatin1(path); }
    void route(const QByteArray &path, QList<Answer> answers) { m_routes.insert(path, std::move(answers)); }
    int hits(const QByteArray &path) const { return m_hits.value(path); }

    // The value of a header in the last request for `path`; empty when it had none.
    QByteArray lastHeader(const QByteArray &path, const QByteArray &name) const
    {
        for (const QByteArray &line : m_lastRequest.value(path).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }

    // A port on 127.0.0.1 where nobody listens: connections are refused.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

private:
    void serve(QTcpSocket *socket)
    {
        QByteArray &request = m_requests[socket];
        if (request.contains("\r\n\r\n"))
            return;  // answered already; a client sends nothing more
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QByteArray path = request.left(request.indexOf("\r\n")).split(' ').value(1, "/");
        m_hits[path] += 1;
        m_lastRequest.insert(path, request);
        QList<Answer> &queue = m_routes[path];
        const Answer answer = queue.isEmpty() ? Answer::error(404, "no such page")
                                              : (queue.size() > 1 ? queue.takeFirst() : queue.first());
        using Kind = Answer::Kind;
        if (answer.kind == Kind::Silent)
            return;

        const bool unchanged = answer.kind == Kind::Full &&
                               ((!answer.etag.isEmpty() && lastHeader(path, "If-None-Match") == answer.etag) ||
                                (!answer.lastModified.isEmpty() && lastHeader(path, "If-Modified-Since") == answer.lastModified));
        QByteArray body = unchanged ? QByteArray() : answer.body;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(unchanged ? 304 : answer.status) + " Answer\r\n";
        head += "Content-Type: application/octet-stream\r\nConnection: close\r\n";
        if (answer.kind != Kind::NoLength)
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        if (!answer.etag.isEmpty())
            head += "ETag: " + answer.etag + "\r\n";
        if (!answer.lastModified.isEmpty())
            head += "Last-Modified: " + answer.lastModified + "\r\n";
        if (answer.kind == Kind::Redirect)
            head += "Location: " + answer.location + "\r\n";
        if (answer.kind == Kind::Truncated || answer.kind == Kind::Stall)
            body.truncate(answer.sent);
        socket->write(head + "\r\n" + (answer.kind == Kind::Drip ? QByteArray() : body));
        if (answer.kind == Kind::Drip) {
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket, body, sent = qsizetype(0)]() mutable {
                if (sent < body.size())
                    socket->write(body.mid(sent++, 1));
            });
            timer->start(20);
        } else if (answer.kind != Kind::Stall) {
            socket->disconnectFromHost();
        }
    }

    std::unique_ptr<QTcpServer> m_server;
    QHash<QByteArray, QList<Answer>> m_routes;
    QHash<QByteArray, int> m_hits;
    QHash<QByteArray, QByteArray> m_lastRequest;
    QHash<QTcpSocket *, QByteArray> m_requests;
};
