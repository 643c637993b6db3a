#include "testhttpserver.h"

#include <QSslServer>
#include <QTcpSocket>

namespace {

QByteArray head(int status, qsizetype length, const QByteArray &extra = {})
{
    const char *reason = status == 200 ? "OK" : status == 302 ? "Found" : status == 404 ? "Not Found" : "Error";
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

    QList<Answer> &queue = m_routes[path];
    const Answer answer = queue.isEmpty() ? Answer::error(404, "no such page")
                                          : (queue.size() > 1 ? queue.takeFirst() : queue.first());
    switch (answer.kind) {
    case Answer::Kind::Full:
        socket->write(head(answer.status, answer.body.size()) + answer.body);
        socket->disconnectFromHost();
        break;
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
