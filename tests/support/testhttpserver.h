#pragma once

#include <QFile>
#include <QHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// A small HTTP/1.1 server on 127.0.0.1, or an HTTPS one, that answers from the test thread's event loop (a fetch's local
// one, or a wait's). A whole answer with an entity tag or a date answers 304 to a request that names them, as a web
// server does.
class TestHttpServer final : public QObject
{
public:
    // Every answer closes its connection, unless its kind says otherwise.
    struct Answer
    {
        enum Kind {
            Whole,      // status line, headers, Content-Length and the body
            Truncated,  // announces the whole body, sends `sent` bytes of it
            NoLength,   // no Content-Length: the body ends when the connection closes
            Stall,      // head and `sent` bytes, then silence with the connection open
            Silent,     // reads the request and never answers
            Drip,       // head, then one byte of the body every 20 ms
        };
        Kind kind = Whole;
        int status = 200;
        QByteArray body = {};
        qsizetype sent = 0;
        QByteArray location = {};      // sent as Location
        QByteArray etag = {};          // sent as ETag
        QByteArray lastModified = {};  // sent as Last-Modified, an HTTP date
        QByteArray contentType = {};   // sent as Content-Type
    };

    // An HTTPS server shows localhost.crt, made for 127.0.0.1 and these tests alone, valid from 2000 to 2999, which the
    // process then trusts.
    explicit TestHttpServer(bool https = false) : m_https(https)
    {
        if (https) {
            const QSslCertificate certificate =
                QSslCertificate::fromPath(QStringLiteral(KML_TEST_DATA "/localhost.crt")).value(0);
            QFile key(QStringLiteral(KML_TEST_DATA "/localhost.key"));
            if (certificate.isNull() || !key.open(QIODevice::ReadOnly))
                qFatal("no test certificate");
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.addCaCertificate(certificate);
            QSslConfiguration::setDefaultConfiguration(tls);
            tls.setLocalCertificate(certificate);
            tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
            auto server = std::make_unique<QSslServer>();
            server->setSslConfiguration(tls);
            m_server = std::move(server);
        }
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            qFatal("test server cannot listen: %s", qPrintable(m_server->errorString()));
        // A TLS connection is pending once its handshake is done, after newConnection.
        connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket, request = QByteArray()]() mutable { serve(socket, request); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    // "http://127.0.0.1:<port>", or "https://..."
    QString base() const { return QStringLiteral("http%1://127.0.0.1:%2").arg(m_https ? "s" : "").arg(m_server->serverPort()); }
    QString url(const QByteArray &path) const { return base() + QString::fromLatin1(path); }
    void route(const QByteArray &path, const Answer &answer) { m_routes.insert(path, answer); }
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

private:
    // `request` is what the connection has sent so far; a client sends nothing after the head.
    void serve(QTcpSocket *socket, QByteArray &request)
    {
        if (request.contains("\r\n\r\n"))
            return;
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QByteArray path = request.left(request.indexOf("\r\n")).split(' ').value(1, "/");
        m_hits[path] += 1;
        m_lastRequest.insert(path, request);
        const Answer answer = m_routes.value(path, {.status = 404, .body = "no such page"});
        if (answer.kind == Answer::Silent)
            return;
        const bool unchanged = answer.kind == Answer::Whole &&
                               ((!answer.etag.isEmpty() && lastHeader(path, "If-None-Match") == answer.etag) ||
                                (!answer.lastModified.isEmpty() && lastHeader(path, "If-Modified-Since") == answer.lastModified));
        QByteArray body = unchanged ? QByteArray() : answer.body;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(unchanged ? 304 : answer.status) + " Answer\r\nConnection: close\r\n";
        if (answer.kind != Answer::NoLength)
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        const QByteArray headers[][2] = {
            {"ETag", answer.etag}, {"Last-Modified", answer.lastModified}, {"Location", answer.location},
            {"Content-Type", answer.contentType}};
        for (const auto &[name, value] : headers)
            head += value.isEmpty() ? QByteArray() : name + ": " + value + "\r\n";
        if (answer.kind == Answer::Truncated || answer.kind == Answer::Stall)
            body.truncate(answer.sent);
        socket->write(head + "\r\n" + (answer.kind == Answer::Drip ? QByteArray() : body));
        if (answer.kind == Answer::Drip) {
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket, body, sent = qsizetype(0)]() mutable {
                if (sent < body.size())
                    socket->write(body.mid(sent++, 1));
            });
            timer->start(20);
        } else if (answer.kind != Answer::Stall) {
            socket->disconnectFromHost();
        }
    }

    bool m_https;
    std::unique_ptr<QTcpServer> m_server = std::make_unique<QTcpServer>();
    QHash<QByteArray, Answer> m_routes;
    QHash<QByteArray, int> m_hits;
    QHash<QByteArray, QByteArray> m_lastRequest;
};
