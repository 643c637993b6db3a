#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// Where each file of a mod's archive goes in the mod's folder, decided from the
// names alone. Archives come in three shapes: a top folder named for the mod
// ("rogue/pak0.pak", perhaps beside a readme), the folder's content loose
// ("pak0.pak", "maps/"), or maps only ("maps/*.bsp"). A single top folder that
// is no folder of a game's own (maps, pics, sound...) is the mod's and is
// stripped. Every name is lower-cased: the engine reads only lower-case names
// ("PAK0.PAK" is ignored).
struct ModLayout
{
    QString topFolder;                              // the stripped folder, as the archive spells it; "" when none
    QList<std::pair<QByteArray, QByteArray>> files; // archive path -> path in the mod's folder
    QString error;                                  // why the files cannot go into one folder; "" when they can

    static ModLayout of(const QList<QByteArray> &archivePaths);
};

// A game folder name is one the engine accepts for "+set game": not empty, no
// "baseq2", only lower-case letters, digits, "_" and "-" (a slash, ".." or a
// space make the engine fall back to the base game without a word).
// Returns why a name is refused, or "" for a good one.
QString gameNameProblem(const QString &name);
// A good name made of a folder's or a mod's name ("Rocket Arena 2" ->
// "rocket-arena-2"); "" when nothing of it is usable.
QString gameNameFrom(const QString &text);

// What the install dialog shows of an archive before anything is written.
struct ModArchiveSummary
{
    QString error;         // the archive cannot be read; "" when it can
    QString suggestedGame; // from the top folder, else from `modName`
    int fileCount = 0;
    qint64 totalSize = 0;
    QStringList files;    // paths in the mod's folder, with their sizes
    QStringList warnings; // sentences: no Linux game library, a map pack, an archive inside

    static ModArchiveSummary of(const QString &zipPath, const QString &modName);
};
