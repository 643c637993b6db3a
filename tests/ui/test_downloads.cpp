#include "platform/downloads.h"
#include "platform/webengineview.h"
#include "support/fakeshell.h"
#include "support/pageserver.h"
#include "support/tempfolder.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebEngineProfile>

namespace {

constexpr int kWait = 30000;

QByteArray payload(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + 7) & 0xff);
    return bytes;
}

} // namespace

TEST(Downloads, SavedBytesEqualTheServedOnes)
{
    TempFolder site, saveTo;
    const QByteArray bytes = payload(3 * 1024 * 1024 + 17);
    site.write(QStringLiteral("files/mod.zip"), bytes);
    PageServer server(site.path());

    FakeShell shell;
    QString suggested;
    Downloads downloads(QWebEngineProfile::defaultProfile(), shell, [&](QWidget *, const QString &path) {
        suggested = path;
        return saveTo.file(QStringLiteral("chosen.zip"));
    });
    QSignalSpy ended(&downloads, &Downloads::downloadEnded);
    WebEngineView view;
    view.navigate(server.base() + QStringLiteral("/files/mod.zip"));

    WAIT_EQ(ended.size(), 1, kWait);
    EXPECT_TRUE(ended.first().at(1).toBool());
    EXPECT_TRUE(suggested.endsWith(QStringLiteral("/mod.zip"))) << suggested.toStdString();
    EXPECT_EQ(saveTo.read(QStringLiteral("chosen.zip")), bytes);

    // A finished download can be shown in its folder.
    auto *show = downloads.findChild<QPushButton *>(QStringLiteral("showInFolder"));
    ASSERT_NE(show, nullptr);
    show->click();
    EXPECT_EQ(shell.folders, QStringList{QFileInfo(saveTo.path()).absoluteFilePath()});
}

TEST(Downloads, CancelLeavesNoPartialFile)
{
    // A server that announces a large file, sends a little of it and then stalls.
    QTcpServer stall;
    ASSERT_TRUE(stall.listen(QHostAddress::LocalHost, 0));
    QList<QTcpSocket *> clients;
    QObject::connect(&stall, &QTcpServer::newConnection, [&] {
        QTcpSocket *socket = stall.nextPendingConnection();
        clients.append(socket);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                          "Content-Length: 50000000\r\n\r\n");
            socket->write(QByteArray(64 * 1024, 'x'));
        });
    });

    TempFolder saveTo;
    FakeShell shell;
    Downloads downloads(QWebEngineProfile::defaultProfile(), shell,
                        [&](QWidget *, const QString &) { return saveTo.file(QStringLiteral("big.zip")); });
    QSignalSpy ended(&downloads, &Downloads::downloadEnded);
    WebEngineView view;
    view.navigate(QStringLiteral("http://127.0.0.1:%1/big.zip").arg(stall.serverPort()));

    QPushButton *cancel = nullptr;
    WAIT_TRUE((cancel = downloads.findChild<QPushButton *>(QStringLiteral("cancel"))) != nullptr, kWait);
    QTest::qWait(300);
    cancel->click();
    WAIT_EQ(ended.size(), 1, kWait);
    EXPECT_FALSE(ended.first().at(1).toBool());
    QTest::qWait(200);
    EXPECT_EQ(QDir(saveTo.path()).entryList(QDir::Files | QDir::Hidden), QStringList()) << "no partial file is left";

    // Refusing the save dialog downloads nothing.
    Downloads refusing(QWebEngineProfile::defaultProfile(), shell, [](QWidget *, const QString &) { return QString(); });
    qDeleteAll(clients);
}
