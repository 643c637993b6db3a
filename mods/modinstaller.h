#pragma once

#include "modmanifest.h"

#include <QString>
#include <QStringList>

// Installs mods from zip archives into <mods folder>/<game>/, and removes them.
//
// An install checks the archive as the list update does (no escaping names,
// links, bombs, bad CRCs, control characters or encryption), unpacks it into a
// staging folder (an archive inside unpacked once, names lower-cased, the top
// folder stripped, .so files made executable), records every file in a
// manifest, and commits the mod's folder through a FolderTransaction of the mods
// folder: a process killed at any instant leaves the mod wholly installed or
// absent. A folder that exists without our manifest is never written to; one
// with it is upgraded in one transaction.
//
// Only one install or uninstall runs in a mods folder at a time, across
// processes (a lock file in the mods folder); another one is refused.
class ModInstaller final
{
public:
    // `modsFolder`: where mods go. `engineFolder`: the engine's own folder,
    // whose game folders no mod may take ("" when unknown).
    ModInstaller(QString modsFolder, QString engineFolder = {});

    struct Result
    {
        bool ok = false;
        QString message;       // a sentence for the player: what was done, or why not
        ModManifest manifest;  // what is installed now (install) or was (uninstall)
        bool upgraded = false; // an install replaced an earlier version
        int removed = 0;       // files an uninstall removed
        QStringList kept;      // files an uninstall left: changed or added since the install
    };

    Result install(const QString &zipPath, const QString &game, const QString &sourcePage = {});

    // What an uninstall would leave: the files changed or added since the
    // install, below the mod's folder. An error instead when it cannot go.
    struct Check
    {
        QString error;
        ModManifest manifest;
        QStringList changed;
        QStringList added;
    };
    Check checkUninstall(const QString &game) const;
    // Removes the files the install put there whose contents are as installed,
    // then the folders left empty, deepest first. With `alsoChanged`, the files
    // changed or added since go to the desktop's trash.
    Result uninstall(const QString &game, bool alsoChanged);

    struct Installed
    {
        QString game;
        QString folder;
        ModManifest manifest;
    };
    // The mods with a good manifest, by name. Finishes what an install that was
    // cut off left first.
    QList<Installed> installed();

    QString folderOf(const QString &game) const;

private:
    // Why the mod cannot be uninstalled ("" when it can), with its manifest read.
    QString uninstallProblem(const QString &game, ModManifest *manifest) const;

    QString m_modsFolder;
    QString m_engineFolder;
};
