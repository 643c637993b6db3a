#pragma once

#include "gamesetup.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

// Starts the engine with an installed mod: "+set game <name>" and the extra
// arguments, through QProcess with an argument list (no shell), in the game
// data folder. The engine's output goes to a log; an engine that cannot start,
// or ends with a non-zero status within kQuickEndMs, is reported with the log's
// last lines. A game still running when the launcher goes keeps running.
class ModLauncher final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kQuickEndMs = 5000;

    explicit ModLauncher(QString logFolder, QObject *parent = nullptr);
    ~ModLauncher() override;

    // The engine's program and its arguments for a mod.
    static QStringList command(const GameSetup &setup, const QString &game, const QStringList &moreArguments);

    // Starts the engine; false with a sentence in `error` when the setup lacks
    // something or the mod is not installed. started() or failed() follows.
    bool play(const GameSetup &setup, const QString &game, const QStringList &moreArguments, QString *error);

    QString logPath(const QString &game) const;

Q_SIGNALS:
    void started(const QString &game);
    // The engine could not start, or ended at once with an error.
    void failed(const QString &game, const QString &message);
    void finished(const QString &game, int exitCode);

private:
    QString quickEndMessage(const QString &game, const QProcess &process) const;

    QString m_logFolder;
};
