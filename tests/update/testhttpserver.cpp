#include "testhttpserver.h"

#include <QPointer>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray head(int status, qsizetype length, const QByteArray &extra = {})
{
    const char *reason = status == 200   ? "OK"
                         : status == 302 ? "Found"
                         : status == 304 ? "Not Modified"
                         : status == 404 ? "Not Found"
                                         : "Error";
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    out += "Content-Type: application/octet-stream\r\nConnection: close\r\n";
    if (length >= 0)
        out += "Content-Length: " + QByteArray::number(length) + "\r\n";
    out += extra;
    out += "\r\n";
    return out;
}

} // namespace

TestHttpServer::TestHttpServer(const QSslConfiguration *tls)
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
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &TestHttpServer::accept);
}

TestHttpServer::~TestHttpServer()
{
    const auto sockets = m_pending.keys();
    for (QTcpSocket *socket : sockets)
        socket->abort();
}

QString TestHttpServer::base() const
{
    const bool tls = qobject_cast<QSslServer *>(m_server.get());
    return QStringLiteral("%1://127.0.0.1:%2").arg(tls ? "https" : "http").arg(m_server->serverPort());
}

QByteArray TestHttpServer::lastHeader(const QByteArray &path, const QByteArray &name) const
{
    for (const QByteArray &line : m_lastRequest.value(path).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

void TestHttpServer::route(const QByteArray &path, QList<Answer> answers)
{
    m_routes.insert(path, std::move(answers));
}

quint16 TestHttpServer::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void TestHttpServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_pending.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::serve(QTcpSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    QByteArray &request = *it;
    if (request.contains("\r\n\r\n"))
        return;  // answered already; a client sends nothing more
    request += socket->readAll();
    if (!request.contains("\r\n\r\n"))
        return;
    const QList<QByteArray> firstLine = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray path = firstLine.size() >= 2 ? firstLine.at(1) : QByteArray("/");
    m_hits[path] += 1;
    m_lastRequest.insert(path, request);

    QList<Answer> &queue = m_routes[path];
    const Answer answer = queue.isEmpty() ? Answer::error(404, "no such page")
                                          : (queue.size() > 1 ? queue.takeFirst() : queue.first());
    QByteArray validators;
    if (!answer.etag.isEmpty())
        validators += "ETag: " + answer.etag + "\r\n";
    if (!answer.lastModified.isEmpty())
        validators += "Last-Modified: " + answer.lastModified + "\r\n";
    const bool unchanged = (!answer.etag.isEmpty() && lastHeader(path, "If-None-Match") == answer.etag) ||
                           (!answer.lastModified.isEmpty() && lastHeader(path, "If-Modified-Since") == answer.lastModified);
    switch (answer.kind) {
    case Answer::Kind::Full:
        if (unchanged)
            socket->write(head(304, -1, validators));
        else
            socket->write(head(answer.status, answer.body.size(), validators) + answer.body);
        socket->disconnectFromHost();
        break;
    case Answer::Kind::Drip: {
        socket->write(head(answer.status, answer.body.size()));
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, body = answer.body, sent = qsizetype(0)]() mutable {
            if (sent < body.size())
                socket->write(body.mid(sent++, 1));
        });
        timer->start(20);
        break;
    }
    case Answer::Kind::Truncated:
        socket->write(head(answer.status, answer.body.size()) + answer.body.left(answer.sent));
        socket->disconnectFromHost();
        break;
    case Answer::Kind::NoLength:
        socket->write(head(answer.status, -1) + answer.body);
        socket->disconnectFromHost();
        break;
    case Answer::Kind::Stall:
        socket->write(head(answer.status, answer.body.size()) + answer.body.left(answer.sent));
        break;
    case Answer::Kind::Silent:
        break;
    case Answer::Kind::Redirect:
        socket->write(head(answer.status, 0, "Location: " + answer.location + "\r\n"));
        socket->disconnectFromHost();
        break;
    }
}
