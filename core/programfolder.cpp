#include "programfolder.h"

#include "checkedfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

bool isWritableFolder(const QString &folder)
{
    // Access bits do not tell the whole story (read-only mounts, ACLs): try it.
    QTemporaryFile probe(folder + QStringLiteral("/.write-probe-XXXXXX"));
    return QFileInfo(folder).isDir() && probe.open();
}

ProgramFolder chooseProgramFolder(const QString &exeFolder, bool exeFolderWritable, const QString &userFolder,
                                  const QString &installedData)
{
    ProgramFolder result;
    if (exeFolderWritable) {
        result.path = exeFolder;
        return result;
    }
    result.path = userFolder;
    if (!QDir().mkpath(userFolder)) {
        result.error = QStringLiteral("cannot create %1").arg(userFolder);
        return result;
    }
    // Copy every shipped file the user does not have yet, sub-folders included.
    const QDir source(installedData);
    QDirIterator it(installedData, QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString relative = source.relativeFilePath(from);
        const QString to = userFolder + QLatin1Char('/') + relative;
        if (QFileInfo::exists(to) || QFileInfo(to).isSymLink())
            continue;
        QDir().mkpath(QFileInfo(to).absolutePath());
        // Whole or not at all: a half-copied file must never look like the user's own.
        if (copyFileContents(from, to, nullptr)) {
            QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
            result.seeded.append(relative);
        } else {
            result.error = QStringLiteral("cannot copy %1").arg(relative);
        }
    }
    return result;
}
