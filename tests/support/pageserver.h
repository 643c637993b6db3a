#pragma once

#include <QProcess>
#include <QRegularExpression>

// Serves a folder over HTTP on 127.0.0.1 with Python's http.server, on a port it picks itself, and keeps the request
// log so a test can see which pages were fetched.
class PageServer
{
public:
    explicit PageServer(const QString &root)
    {
        m_process.start(QStringLiteral("python3"), {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", root});
        QString said; // "Serving HTTP on 127.0.0.1 port N ...", once it listens
        while (!said.contains(u'\n') && m_process.waitForReadyRead(10000))
            said += QString::fromUtf8(m_process.readAllStandardOutput());
        m_port = QRegularExpression(QStringLiteral(" port (\\d+)")).match(said).captured(1).toUShort();
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
