#include "modinstaller.h"

#include "archive/archiveextractor.h"
#include "archive/foldertransaction.h"
#include "archive/safefolders.h"
#include "core/checkedfile.h"
#include "filehash.h"
#include "modlayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSet>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

const QString kLockName = QStringLiteral(".kml-lock");
const QString kRawFolder = QStringLiteral(".kml-raw");

ModInstaller::Result failure(const QString &message)
{
    ModInstaller::Result result;
    result.message = message;
    return result;
}

QString extractionProblem(const ExtractionResult &result, const QString &zipPath)
{
    using Status = ExtractionResult::Status;
    const QString name = QFileInfo(zipPath).fileName();
    switch (result.status) {
    case Status::CannotOpen:
        return QCoreApplication::translate("ModInstaller", "%1 cannot be read (%2).").arg(name, result.message);
    case Status::NotAnArchive:
        return QCoreApplication::translate("ModInstaller", "%1 is no zip archive, or it is cut short.").arg(name);
    case Status::Damaged:
        return QCoreApplication::translate("ModInstaller", "%1 is damaged (%2); nothing was installed.")
            .arg(name, result.message);
    case Status::Refused:
        return QCoreApplication::translate(
                   "ModInstaller", "%1 was refused: it holds something no mod may write (%2); nothing was installed.")
            .arg(name, result.message);
    default:
        return QCoreApplication::translate("ModInstaller", "%1 could not be unpacked (%2); nothing was installed.")
            .arg(name, result.message);
    }
}

// The file's modification time in nanoseconds.
qint64 modifiedNs(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Every file below `root`, links included (never followed), as paths relative to it.
QList<QByteArray> filesBelow(const QString &root)
{
    QList<QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink() || !info.isDir())
            out.push_back(base.relativeFilePath(info.filePath()).toUtf8());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Removes the folders below `root` that are empty, deepest first, then `root`
// itself when it is empty too.
void removeEmptyFolders(const QString &root, bool andRoot)
{
    QStringList folders;
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        folders << it.next();
    std::sort(folders.begin(), folders.end(),
              [](const QString &a, const QString &b) { return a.count(u'/') > b.count(u'/'); });
    for (const QString &folder : std::as_const(folders))
        ::rmdir(QFile::encodeName(folder).constData());
    if (andRoot)
        ::rmdir(QFile::encodeName(root).constData());
}

// Moves a file to the desktop's trash. Qt 6.4 moves it to a "files" folder
// below the working folder when the user's data folder does not exist yet: the
// folder is made first, and a file moved anywhere but into a trash goes back.
bool moveToTrash(const QString &path)
{
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return false;
    if (QFileInfo(inTrash).isAbsolute() && inTrash.contains(QLatin1String("Trash")))
        return true;
    QFile::rename(inTrash, path);
    return false;
}

// The files of a mod as they are now, against its manifest.
struct Inventory
{
    QString error;
    QList<ModManifest::File> asInstalled; // contents as the install left them
    QStringList changed;
    QStringList added;
};

Inventory takeInventory(const QString &folder, const ModManifest &manifest)
{
    Inventory inventory;
    const Fd folderFd(::open(QFile::encodeName(folder).constData(), kFolderOpenFlags));
    if (!folderFd.valid()) {
        inventory.error =
            QCoreApplication::translate("ModInstaller", "%1 cannot be opened: %2").arg(folder, errnoText(errno));
        return inventory;
    }
    FolderCursor cursor(folderFd.get());
    QSet<QByteArray> listed;
    for (const QList<ModManifest::File> *list : {&manifest.files, &manifest.leftovers}) {
        for (const ModManifest::File &file : *list) {
            listed.insert(file.path);
            // Opened one folder at a time without following a link: a link the
            // user put where a folder was leads nowhere.
            const int parentFd = cursor.open(parentOf(file.path), false);
            struct stat st;
            if (parentFd < 0 || fstatat(parentFd, nameOf(file.path).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone already
            bool same = S_ISREG(st.st_mode) && st.st_size == file.size;
            if (same && modifiedNs(st) != file.modified) {
                const Fd in(openat(parentFd, nameOf(file.path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
                same = in.valid() && sha256Hex(in.get()) == file.sha256;
            }
            if (same)
                inventory.asInstalled.push_back(file);
            else
                inventory.changed << QString::fromUtf8(file.path);
        }
    }
    for (const QByteArray &path : filesBelow(folder)) {
        if (!listed.contains(path) && path != ModManifest::kFileName.toUtf8())
            inventory.added << QString::fromUtf8(path);
    }
    return inventory;
}

// Removes what an upgrade left of the version before, then the record of it.
bool finishUpgrade(const QString &folder, ModManifest &manifest, QString *error)
{
    if (manifest.leftovers.isEmpty())
        return true;
    ModManifest current = manifest;
    current.files.clear();
    const Inventory inventory = takeInventory(folder, current);
    for (const ModManifest::File &file : inventory.asInstalled)
        QFile::remove(folder + u'/' + QString::fromUtf8(file.path));
    manifest.leftovers.clear();
    if (!replaceFileContents(folder + u'/' + ModManifest::kFileName, manifest.serialized(), error))
        return false;
    removeEmptyFolders(folder, false);
    return true;
}

} // namespace

ModInstaller::ModInstaller(QString modsFolder, QString engineFolder)
    : m_modsFolder(QDir::cleanPath(std::move(modsFolder))), m_engineFolder(std::move(engineFolder))
{}

QString ModInstaller::folderOf(const QString &game) const
{
    return m_modsFolder + u'/' + game;
}

ModInstaller::Result ModInstaller::install(const QString &zipPath, const QString &game, const QString &sourcePage)
{
    if (const QString problem = gameNameProblem(game); !problem.isEmpty())
        return failure(problem);
    if (!m_engineFolder.isEmpty() && QFileInfo(m_engineFolder + u'/' + game).isDir())
        return failure(QCoreApplication::translate(
                           "ModInstaller", "%1 is a game folder of the engine itself (in %2); choose another name.")
                           .arg(game, m_engineFolder));
    const QFileInfo mods(m_modsFolder);
    if (mods.isSymLink())
        return failure(
            QCoreApplication::translate(
                "ModInstaller", "The mods folder %1 is a symbolic link; name the folder it leads to in Options.")
                .arg(m_modsFolder));
    if (!mods.exists() && !QDir().mkpath(m_modsFolder))
        return failure(QStringLiteral("The mods folder %1 cannot be made; check that its parent folder exists and "
                                      "can be written to.")
                           .arg(m_modsFolder));
    if (!QFileInfo(m_modsFolder).isDir())
        return failure(QCoreApplication::translate("ModInstaller", "The mods folder %1 is a file, not a folder.")
                           .arg(m_modsFolder));

    QLockFile lock(m_modsFolder + u'/' + kLockName);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return failure(
            lock.error() == QLockFile::LockFailedError
                ? QCoreApplication::translate(
                      "ModInstaller", "Another install or uninstall is running in %1; try again when it has ended.")
                      .arg(m_modsFolder)
                : QCoreApplication::translate("ModInstaller", "The mods folder %1 cannot be written to.")
                      .arg(m_modsFolder));

    const QString target = folderOf(game);
    const QFileInfo existing(target);
    ModManifest earlier;
    bool upgrade = false;
    if (existing.isSymLink() || (existing.exists() && !existing.isDir()))
        return failure(QCoreApplication::translate("ModInstaller", "%1 exists and is no folder; nothing was installed.")
                           .arg(target));
    if (existing.exists()) {
        QString why;
        if (ModManifest::read(target, &earlier, &why))
            upgrade = true;
        else if (QFileInfo::exists(target + u'/' + ModManifest::kFileName))
            return failure(QStringLiteral("%1 was installed by Mod List, but its record of files is damaged (%2); "
                                          "nothing was changed. Move the folder away to install the mod again.")
                               .arg(target, why));
        else if (!filesBelow(target).isEmpty())
            return failure(QStringLiteral("%1 already exists and was not installed by Mod List; it stays as it is. "
                                          "Choose another game folder name.")
                               .arg(target));
    }

    FolderTransaction transaction(m_modsFolder);
    QString error;
    if (!transaction.begin(&error))
        return failure(QCoreApplication::translate("ModInstaller", "The mods folder %1 cannot be written to (%2).")
                           .arg(m_modsFolder, error));
    const QString staging = transaction.stagingPath();
    const QString raw = staging + u'/' + kRawFolder;
    if (!QDir().mkpath(raw))
        return failure(QCoreApplication::translate("ModInstaller", "%1 cannot be written to.").arg(staging));
    const ArchiveExtractor extractor;
    if (const ExtractionResult unpacked = extractor.unpack(zipPath, raw); !unpacked.ok())
        return failure(extractionProblem(unpacked, zipPath));

    // Archive paths, with the files of archives inside it at the inner archive's place.
    QHash<QByteArray, QString> sources;
    QList<QByteArray> paths;
    int nested = 0;
    for (const QByteArray &path : filesBelow(raw)) {
        const QString file = raw + u'/' + QString::fromUtf8(path);
        if (!path.toLower().endsWith(".zip")) {
            paths.push_back(path);
            sources.insert(path, file);
            continue;
        }
        const QString inner = staging + QStringLiteral("/.kml-nested-%1").arg(++nested);
        QDir().mkpath(inner);
        if (const ExtractionResult unpacked = extractor.unpack(file, inner); !unpacked.ok())
            return failure(extractionProblem(unpacked, file));
        const QByteArray folder = parentOf(path);
        for (const QByteArray &innerPath : filesBelow(inner)) {
            const QByteArray joined = folder.isEmpty() ? innerPath : folder + '/' + innerPath;
            if (sources.contains(joined))
                return failure(QStringLiteral("%1 is both in the archive and in the archive inside it; nothing was "
                                              "installed.")
                                   .arg(QString::fromUtf8(joined)));
            paths.push_back(joined);
            sources.insert(joined, inner + u'/' + QString::fromUtf8(innerPath));
        }
    }
    const ModLayout layout = ModLayout::of(paths);
    if (!layout.error.isEmpty())
        return failure(layout.error + QCoreApplication::translate("ModInstaller", "; nothing was installed."));
    if (layout.files.isEmpty())
        return failure(QCoreApplication::translate("ModInstaller", "%1 holds no files; nothing was installed.")
                           .arg(QFileInfo(zipPath).fileName()));

    ModManifest manifest;
    manifest.game = game;
    manifest.archiveName = QFileInfo(zipPath).fileName();
    manifest.sourcePage = sourcePage;
    const QString staged = staging + u'/' + game;
    QSet<QByteArray> newPaths;
    QSet<QString> madeFolders;
    for (const auto &[source, path] : layout.files) {
        const QString to = staged + u'/' + QString::fromUtf8(path);
        const QByteArray toName = QFile::encodeName(to);
        const QString folder = QFileInfo(to).absolutePath();
        const bool made = madeFolders.contains(folder) || QDir().mkpath(folder);
        madeFolders.insert(folder);
        if (!made || ::rename(QFile::encodeName(sources.value(source)).constData(), toName.constData()) != 0)
            return failure(
                QCoreApplication::translate("ModInstaller", "%1 cannot be written: %2").arg(to, errnoText(errno)));
        if (path.endsWith(".so"))
            ::chmod(toName.constData(), 0755);
        struct stat st;
        const Fd in(::open(toName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!in.valid() || fstat(in.get(), &st) != 0)
            return failure(
                QCoreApplication::translate("ModInstaller", "%1 cannot be read: %2").arg(to, errnoText(errno)));
        manifest.files.push_back({path, qint64(st.st_size), modifiedNs(st), sha256Hex(in.get())});
        newPaths.insert(path);
    }
    {
        const Fd archiveFd(::open(QFile::encodeName(zipPath).constData(), O_RDONLY | O_CLOEXEC));
        manifest.archiveSha256 = archiveFd.valid() ? sha256Hex(archiveFd.get()) : QByteArray();
    }
    if (upgrade) {
        for (const QList<ModManifest::File> *list : {&earlier.files, &earlier.leftovers}) {
            for (const ModManifest::File &file : *list) {
                if (!newPaths.contains(file.path))
                    manifest.leftovers.push_back(file);
            }
        }
    }
    if (!replaceFileContents(staged + u'/' + ModManifest::kFileName, manifest.serialized(), &error))
        return failure(
            QCoreApplication::translate("ModInstaller",
                                        "The record of the mod's files cannot be written (%1); nothing was installed.")
                .arg(error));
    if (!QDir(raw).removeRecursively())
        return failure(QCoreApplication::translate("ModInstaller", "%1 cannot be cleared.").arg(raw));
    for (int i = 1; i <= nested; ++i)
        QDir(staging + QStringLiteral("/.kml-nested-%1").arg(i)).removeRecursively();

    const FolderTransaction::Result committed = transaction.commit();
    if (!committed.ok())
        return failure(
            QCoreApplication::translate("ModInstaller", "The mod could not be put in place (%1); %2 is as it was.")
                .arg(committed.message, m_modsFolder));
    Result result;
    result.ok = true;
    result.upgraded = upgrade;
    if (!finishUpgrade(target, manifest, &error))
        result.message =
            QCoreApplication::translate("ModInstaller",
                                        " The files the earlier version had and this one lacks are still there (%1).")
                .arg(error);
    result.message.prepend(QStringLiteral("%1 %2 in %3: %4 files.")
                               .arg(upgrade ? QStringLiteral("Upgraded") : QStringLiteral("Installed"), game, target)
                               .arg(manifest.files.size()));
    result.manifest = std::move(manifest);
    return result;
}

QString ModInstaller::uninstallProblem(const QString &game, ModManifest *manifest) const
{
    const QString folder = folderOf(game);
    const QFileInfo info(folder);
    if (const QString problem = gameNameProblem(game); !problem.isEmpty())
        return problem;
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        return QCoreApplication::translate("ModInstaller", "%1 is no folder; nothing was removed.").arg(folder);
    if (!info.exists())
        return QCoreApplication::translate("ModInstaller", "%1 is not installed in %2.").arg(game, m_modsFolder);
    if (QString why; !ModManifest::read(folder, manifest, &why))
        return QFileInfo::exists(folder + u'/' + ModManifest::kFileName)
                   ? QCoreApplication::translate("ModInstaller",
                                                 "The record of %1's files is damaged (%2); nothing was removed.")
                         .arg(game, why)
                   : QCoreApplication::translate("ModInstaller",
                                                 "%1 was not installed by Mod List; nothing was removed.")
                         .arg(folder);
    return {};
}

ModInstaller::Check ModInstaller::checkUninstall(const QString &game) const
{
    Check check;
    check.error = uninstallProblem(game, &check.manifest);
    if (!check.error.isEmpty())
        return check;
    Inventory inventory = takeInventory(folderOf(game), check.manifest);
    check.error = inventory.error;
    check.changed = std::move(inventory.changed);
    check.added = std::move(inventory.added);
    return check;
}

ModInstaller::Result ModInstaller::uninstall(const QString &game, bool alsoChanged)
{
    QLockFile lock(m_modsFolder + u'/' + kLockName);
    lock.setStaleLockTime(0);
    if (QFileInfo(m_modsFolder).isDir() && !lock.tryLock(0) && lock.error() == QLockFile::LockFailedError)
        return failure(
            QCoreApplication::translate("ModInstaller",
                                        "Another install or uninstall is running in %1; try again when it has ended.")
                .arg(m_modsFolder));
    Result result;
    if (const QString problem = uninstallProblem(game, &result.manifest); !problem.isEmpty())
        return failure(problem);
    const QString folder = folderOf(game);
    const Inventory inventory = takeInventory(folder, result.manifest);
    if (!inventory.error.isEmpty())
        return failure(inventory.error);
    // Removed one folder at a time without following a link, as the inventory
    // looked at them: a folder swapped for a link meanwhile leads nowhere.
    const Fd folderFd(::open(QFile::encodeName(folder).constData(), kFolderOpenFlags));
    FolderCursor cursor(folderFd.get());
    for (const ModManifest::File &file : inventory.asInstalled) {
        const int parentFd = folderFd.valid() ? cursor.open(parentOf(file.path), false) : -1;
        if (parentFd >= 0 && ::unlinkat(parentFd, nameOf(file.path).constData(), 0) == 0)
            ++result.removed;
    }
    QStringList failed;
    for (const QStringList *list : {&inventory.changed, &inventory.added}) {
        for (const QString &path : *list) {
            if (!alsoChanged || !moveToTrash(folder + u'/' + path))
                result.kept << path;
            if (alsoChanged && QFileInfo::exists(folder + u'/' + path))
                failed << path;
        }
    }
    // The record goes last: an uninstall cut off before can run again.
    if (!QFile::remove(folder + u'/' + ModManifest::kFileName))
        return failure(
            QCoreApplication::translate("ModInstaller", "%1 cannot be removed from %2; %3 files were removed.")
                .arg(ModManifest::kFileName, folder)
                .arg(result.removed));
    removeEmptyFolders(folder, true);
    result.ok = true;
    result.message =
        QCoreApplication::translate("ModInstaller", "Uninstalled %1: %2 files removed.").arg(game).arg(result.removed);
    const qsizetype trashed = inventory.changed.size() + inventory.added.size() - result.kept.size();
    if (trashed > 0)
        result.message += QCoreApplication::translate("ModInstaller",
                                                      " %1 files changed or added since the install went to the trash.")
                              .arg(trashed);
    if (!failed.isEmpty())
        result.message +=
            QCoreApplication::translate("ModInstaller", " These could not be moved to the trash and stay in %1: %2.")
                .arg(folder, failed.join(QStringLiteral(", ")));
    else if (!result.kept.isEmpty())
        result.message +=
            QCoreApplication::translate("ModInstaller", " %1 files changed or added since the install stay in %2.")
                .arg(result.kept.size())
                .arg(folder);
    return result;
}

QList<ModInstaller::Installed> ModInstaller::installed()
{
    QList<Installed> out;
    if (!QFileInfo(m_modsFolder).isDir())
        return out;
    {
        // An install cut off is finished or undone first, when no other runs.
        QLockFile lock(m_modsFolder + u'/' + kLockName);
        lock.setStaleLockTime(0);
        if (lock.tryLock(0))
            FolderTransaction::recover(m_modsFolder);
    }
    const QStringList names =
        QDir(m_modsFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QString &name : names) {
        Installed mod{name, folderOf(name), {}};
        if (gameNameProblem(name).isEmpty() && ModManifest::read(mod.folder, &mod.manifest, nullptr))
            out.push_back(std::move(mod));
    }
    return out;
}
