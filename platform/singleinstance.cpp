#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <sys/stat.h>

#include <unistd.h>

namespace {

const QByteArray kShow = QByteArrayLiteral("show\n");
const QByteArray kShown = QByteArrayLiteral("shown\n");
constexpr int kConnectMs = 2000;
// The running program answers from its event loop, which a start-up may hold
// for a while.
constexpr int kAnswerMs = 15000;

// The folder for the socket: the user's runtime folder ($XDG_RUNTIME_DIR), else
// a folder of the user's own in the temporary folder, and only while no one
// else owns it or may enter it. A name in a folder that others may write to
// could be taken first by another user, who would then answer for the program.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

QString privateSocketFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return QFile::decodeName(runtime);
    const QByteArray own =
        QFile::encodeName(QDir::tempPath()) + "/kestrelmoor-modlist-" + QByteArray::number(::getuid());
    ::mkdir(own.constData(), 0700);
    return isPrivateFolder(own) ? QFile::decodeName(own) : QString();
}

} // namespace

SingleInstance::SingleInstance(const QString &programFolder) : m_lock(programFolder + QStringLiteral("/.kml-lock"))
{
    const QString canonical = QFileInfo(programFolder).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    const QString folder = privateSocketFolder();
    if (!folder.isEmpty())
        m_serverName = folder + QStringLiteral("/kestrelmoor-modlist-%1").arg(QString::fromLatin1(hash));
    // Held for as long as the program runs; a lock whose process has died is
    // taken over (QLockFile looks at its process id).
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Lock SingleInstance::lock()
{
    if (m_lock.tryLock(0))
        return Lock::Taken;
    return m_lock.error() == QLockFile::LockFailedError ? Lock::HeldByOther : Lock::Unavailable;
}

void SingleInstance::listen()
{
    if (m_serverName.isEmpty())
        return;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock: a socket left by a program that died is ours to replace.
    QLocalServer::removeServer(m_serverName);
    if (!m_server->listen(m_serverName))
        return;
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == kShow) {
                    Q_EMIT showRequested();
                    socket->write(kShown);
                }
                socket->disconnectFromServer();
            });
        }
    });
}

bool SingleInstance::askToShow()
{
    if (m_serverName.isEmpty())
        return false;
    // The program may have taken the lock a moment ago and not listen yet.
    const QDeadlineTimer deadline(kConnectMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(kShow);
            const QDeadlineTimer answer(kAnswerMs);
            while (!socket.canReadLine() && socket.waitForReadyRead(int(answer.remainingTime()))) {}
            return socket.readLine() == kShown;
        }
        QThread::msleep(100);
    }
    return false;
}
