#include "modlauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <memory>

namespace {

QStringList lastLines(const QString &path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > 16384)
        file.seek(file.size() - 16384);
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return lines.mid(std::max<qsizetype>(0, lines.size() - count));
}

} // namespace

ModLauncher::ModLauncher(QString logFolder, QObject *parent) : QObject(parent), m_logFolder(std::move(logFolder)) {}

ModLauncher::~ModLauncher()
{
    // A game being played outlives the program that started it: its process
    // object is let go rather than destroyed, which would end the game.
    for (QProcess *process : findChildren<QProcess *>()) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->disconnect();
        process->setParent(nullptr);
    }
}

QStringList ModLauncher::command(const GameSetup &setup, const QString &game, const QStringList &moreArguments)
{
    return setup.engineCommand() + QStringList{QStringLiteral("+set"), QStringLiteral("game"), game} +
           QProcess::splitCommand(setup.extraArguments) + moreArguments;
}

QString ModLauncher::logPath(const QString &game) const
{
    return m_logFolder + QStringLiteral("/play-") + game + QStringLiteral(".log");
}

bool ModLauncher::play(const GameSetup &setup, const QString &game, const QStringList &moreArguments, QString *error)
{
    if (const QString missing = setup.missingForPlay(); !missing.isEmpty()) {
        *error = missing;
        return false;
    }
    const QString modFolder = setup.modsFolder + u'/' + game;
    if (game.isEmpty() || game.contains(u'/') || !QFileInfo(modFolder).isDir()) {
        *error = QCoreApplication::translate("ModLauncher", "%1 is not installed in %2.").arg(game, setup.modsFolder);
        return false;
    }
    if (!QDir().mkpath(m_logFolder)) {
        *error = QCoreApplication::translate("ModLauncher", "The log folder %1 cannot be made.").arg(m_logFolder);
        return false;
    }
    const QStringList line = command(setup, game, moreArguments);
    auto *process = new QProcess(this);
    process->setProgram(line.first());
    process->setArguments(line.mid(1));
    process->setWorkingDirectory(setup.gameData);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(logPath(game), QIODevice::Truncate);
    process->setStandardInputFile(QProcess::nullDevice());
    auto clock = std::make_shared<QElapsedTimer>();
    connect(process, &QProcess::started, this, [this, game] { Q_EMIT started(game); });
    connect(process, &QProcess::errorOccurred, this, [this, process, game](QProcess::ProcessError problem) {
        if (problem != QProcess::FailedToStart)
            return;
        Q_EMIT failed(game, QCoreApplication::translate("ModLauncher", "The engine %1 could not be started: %2.")
                                .arg(process->program(), process->errorString()));
        process->deleteLater();
    });
    connect(process, &QProcess::finished, this, [this, process, game, clock](int code, QProcess::ExitStatus status) {
        if ((status == QProcess::CrashExit || code != 0) && clock->elapsed() < kQuickEndMs)
            Q_EMIT failed(game, quickEndMessage(game, *process));
        Q_EMIT finished(game, status == QProcess::CrashExit ? -1 : code);
        process->deleteLater();
    });
    clock->start();
    process->start();
    return true;
}

QString ModLauncher::quickEndMessage(const QString &game, const QProcess &process) const
{
    const QStringList lines = lastLines(logPath(game), 12);
    const QString tail = lines.join(u'\n');
    if (tail.contains(QLatin1String("shouldn't be run as root")))
        return QStringLiteral("The engine refuses to run as root (the administrator account). Start Mod List as your "
                              "own user to play.");
    QString message =
        process.exitStatus() == QProcess::CrashExit
            ? QCoreApplication::translate("ModLauncher", "The engine crashed as %1 started.").arg(game)
            : QCoreApplication::translate("ModLauncher", "The engine ended at once with status %1 while starting %2.")
                  .arg(process.exitCode())
                  .arg(game);
    if (tail.contains(QLatin1String("colormap.pcx")))
        message += QStringLiteral(" It found no game data: copy pak0.pak from your Quake 2 into baseq2/ of the game "
                                  "data folder.");
    if (!lines.isEmpty())
        message +=
            QCoreApplication::translate("ModLauncher", " The last lines of its log (%1):\n").arg(logPath(game)) + tail;
    return message;
}
