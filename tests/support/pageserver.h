#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Serves a folder over HTTP on 127.0.0.1 with Python's http.server, and keeps
// the request log so a test can see which pages were fetched.
class PageServer
{
public:
    explicit PageServer(const QString &root)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        const QString arguments = QStringLiteral("-u -m http.server %1 --bind 127.0.0.1 --directory").arg(m_port);
        m_process.start(QStringLiteral("python3"), arguments.split(u' ') << root);
        m_process.waitForStarted(5000);
        for (int i = 0; i < 100; ++i) { // ready once it accepts a connection
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(100))
                break;
            QTest::qWait(50);
        }
    }
    ~PageServer()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    // Paths requested so far, in order ("/a/b.htm").
    QStringList requests()
    {
        m_log += QString::fromUtf8(m_process.readAllStandardError());
        QStringList paths;
        for (const QRegularExpressionMatch &get : QRegularExpression(QStringLiteral("\"GET (\\S+) ")).globalMatch(m_log))
            paths.append(get.captured(1));
        return paths;
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_log;
};
