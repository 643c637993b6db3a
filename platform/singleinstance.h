#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running program per program folder: two would share favs.dat and race
// on the list update. The first start holds a lock file in the folder and, when
// it shows a window, listens on a local socket named after the folder in the
// user's private runtime folder; a later start finds the lock held and asks that program to bring its
// window forward. The lock also makes it safe to clean up at start what an
// update that was cut off left behind.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    enum class Lock {
        Taken,       // this process is the one
        HeldByOther, // another process of the program uses the folder
        Unavailable, // no lock can be made there (a read-only folder): go on without
    };

    explicit SingleInstance(const QString &programFolder);
    ~SingleInstance() override;

    Lock lock();
    // Listens for later starts, which make it emit showRequested().
    void listen();
    // Asks the program that holds the lock to show its window; false when it
    // does not answer (it runs without a window, as --update does).
    bool askToShow();

Q_SIGNALS:
    void showRequested();

private:
    QString m_serverName;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
