#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its data files (catalogue, lists, unpacked pages,
// favourites). The executable's folder when the user can write there (a build
// tree, a portable copy); otherwise, for an installed program, a folder of the
// user's own, seeded once from the installed data.
struct ProgramFolder
{
    QString path;
    QStringList seeded; // files copied from the installed data this time
    QString error;      // why the per-user folder could not be made, if it could not
};

// exeFolder: the executable's folder, and whether the user can write there
// (isWritableFolder). userFolder: the per-user data folder used otherwise.
// installedData: the data shipped with an installed program (seed files).
// Seeding never overwrites a file the user already has.
ProgramFolder chooseProgramFolder(const QString &exeFolder, bool exeFolderWritable, const QString &userFolder,
                                  const QString &installedData);

// True when files can be created in the folder.
bool isWritableFolder(const QString &folder);
