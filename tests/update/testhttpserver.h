#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <memory>

class QSslConfiguration;
class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for the fetch tests, or an HTTPS one
// when it is given a certificate and its key. It runs in the thread that made
// it, so it answers while a fetch's local event loop runs. Each path has a
// queue of answers: each request takes the next one, and the last one is given
// again and again. Every answer closes its connection. A whole answer with an
// entity tag or a date answers 304 to a request that names them, as a web
// server does.
class TestHttpServer final : public QObject
{
    Q_OBJECT

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
        QByteArray body;
        qsizetype sent = 0;
        QByteArray location;
        QByteArray etag = {};          // sent as ETag
        QByteArray lastModified = {};  // sent as Last-Modified, an HTTP date

        static Answer ok(QByteArray body) { return {Kind::Full, 200, std::move(body), 0, {}}; }
        static Answer error(int status, QByteArray body) { return {Kind::Full, status, std::move(body), 0, {}}; }
        static Answer truncated(QByteArray body, qsizetype sent) { return {Kind::Truncated, 200, std::move(body), sent, {}}; }
        static Answer withoutLength(QByteArray body) { return {Kind::NoLength, 200, std::move(body), 0, {}}; }
        static Answer stall(QByteArray body, qsizetype sent) { return {Kind::Stall, 200, std::move(body), sent, {}}; }
        static Answer silent() { return {Kind::Silent, 0, {}, 0, {}}; }
        static Answer redirect(QByteArray location) { return {Kind::Redirect, 302, {}, 0, std::move(location)}; }
        static Answer drip(QByteArray body) { return {Kind::Drip, 200, std::move(body), 0, {}}; }
        static Answer tagged(QByteArray body, QByteArray etag, QByteArray lastModified = {})
        {
            return {Kind::Full, 200, std::move(body), 0, {}, std::move(etag), std::move(lastModified)};
        }
    };

    explicit TestHttpServer(const QSslConfiguration *tls = nullptr);
    ~TestHttpServer() override;

    // "http://127.0.0.1:<port>", or "https://..."
    QString base() const;
    QString url(const QByteArray &path) const { return base() + QString::fromLatin1(path); }
    void route(const QByteArray &path, QList<Answer> answers);
    int hits(const QByteArray &path) const { return m_hits.value(path); }
    // The value of a header in the last request for `path`; empty when it had none.
    QByteArray lastHeader(const QByteArray &path, const QByteArray &name) const;

    // A port on 127.0.0.1 where nobody listens: connections are refused.
    static quint16 closedPort();

private:
    void accept();
    void serve(QTcpSocket *socket);

    std::unique_ptr<QTcpServer> m_server;
    QHash<QByteArray, QList<Answer>> m_routes;
    QHash<QByteArray, int> m_hits;
    QHash<QByteArray, QByteArray> m_lastRequest;
    QHash<QTcpSocket *, QByteArray> m_pending;
};
