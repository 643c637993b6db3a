#include "foldertransaction.h"

#include "entryname.h"
#include "safefolders.h"

#include <QFile>
#include <QSet>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

const QString FolderTransaction::kWorkFolderName = QStringLiteral(".kml-update");

namespace {

using Status = FolderTransaction::Result::Status;

constexpr char kStaging[] = "staging";
constexpr char kBackup[] = "backup";
constexpr char kJournal[] = "journal";
const QByteArray kJournalHeader = QByteArrayLiteral("kestrelmoor-modlist commit 1");
const QByteArray kJournalEnd = QByteArrayLiteral("end");

QString text(const QByteArray &path)
{
    return QString::fromUtf8(path);
}

FolderTransaction::Result failure(Status status, const QString &message)
{
    FolderTransaction::Result result;
    result.status = status;
    result.message = message;
    return result;
}

// One move of the commit: a staged file or folder to the same path in the
// folder. `replace`: something is there already and goes to the backup tree.
struct Move
{
    QByteArray path;
    bool replace = false;
};

bool exists(int folderFd, const QByteArray &name)
{
    struct stat st;
    return folderFd >= 0 && fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// Everything below the staging folder, folders before what they hold.
bool listStaged(int stagingFd, std::vector<std::pair<QByteArray, bool>> &out)
{
    FolderCursor cursor(stagingFd);
    std::vector<QByteArray> pending(1);
    while (!pending.empty()) {
        const QByteArray folder = std::move(pending.back());
        pending.pop_back();
        const int fd = cursor.open(folder, false);
        DIR *dir = fd < 0 ? nullptr : fdopendir(openat(fd, ".", kFolderOpenFlags));
        if (!dir)
            return false;
        while (const dirent *entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            const QByteArray path = folder.isEmpty() ? QByteArray(entry->d_name) : folder + '/' + entry->d_name;
            struct stat st;
            if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                closedir(dir);
                return false;
            }
            out.emplace_back(path, S_ISDIR(st.st_mode));
            if (S_ISDIR(st.st_mode))
                pending.push_back(path);
        }
        closedir(dir);
    }
    // A path sorts right after its prefixes: parents come before children.
    std::sort(out.begin(), out.end());
    return true;
}

bool underAny(const QByteArray &path, const QSet<QByteArray> &folders)
{
    for (qsizetype slash = path.indexOf('/'); slash >= 0; slash = path.indexOf('/', slash + 1)) {
        if (folders.contains(path.left(slash)))
            return true;
    }
    return false;
}

// Decides the moves, looking at what the folder holds where each staged path goes.
FolderTransaction::Result plan(int stagingFd, int folderFd, std::vector<Move> &moves)
{
    std::vector<std::pair<QByteArray, bool>> staged;
    if (!listStaged(stagingFd, staged))
        return failure(Status::WriteFailed,
                       QStringLiteral("the staged files cannot be read: %1").arg(errnoText(errno)));
    QSet<QByteArray> movedWhole;
    FolderCursor folder(folderFd);
    for (const auto &[path, isFolder] : staged) {
        if (underAny(path, movedWhole))
            continue;
        QByteArray failedAt;
        const int parentFd = folder.open(parentOf(path), false, &failedAt);
        if (parentFd < 0) {
            if (errno == ELOOP || errno == ENOTDIR)
                return failure(Status::Conflict,
                               QStringLiteral("%1 is a link or a file, not a folder").arg(text(failedAt)));
            return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(failedAt), errnoText(errno)));
        }
        struct stat st;
        if (fstatat(parentFd, nameOf(path).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(path), errnoText(errno)));
            moves.push_back({path, false});
            if (isFolder)
                movedWhole.insert(path);
        } else if (isFolder) {
            if (!S_ISDIR(st.st_mode))
                return failure(Status::Conflict,
                               QStringLiteral("%1 is a link or a file, not a folder").arg(text(path)));
        } else if (S_ISDIR(st.st_mode)) {
            return failure(Status::Conflict, QStringLiteral("%1 is a folder").arg(text(path)));
        } else if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            // A link is replaced, never written through.
            return failure(Status::Conflict, QStringLiteral("%1 exists and is no file").arg(text(path)));
        } else {
            moves.push_back({path, true});
        }
    }
    return {};
}

bool writeJournal(int workFd, const std::vector<Move> &moves, QString *error)
{
    QByteArray journal = kJournalHeader + '\n';
    for (const Move &move : moves)
        journal += (move.replace ? "R " : "N ") + move.path + '\n';
    journal += kJournalEnd + '\n';
    return replaceFileContentsAt(workFd, kJournal, journal, error);
}

enum class JournalRead {
    Missing,
    Read,
    Damaged
};

JournalRead readJournal(int workFd, std::vector<Move> &moves)
{
    Fd file(openat(workFd, kJournal, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid())
        return errno == ENOENT ? JournalRead::Missing : JournalRead::Damaged;
    QFile reader;
    if (!reader.open(file.get(), QIODevice::ReadOnly))
        return JournalRead::Damaged;
    const QList<QByteArray> lines = reader.readAll().split('\n');
    if (lines.size() < 3 || lines.first() != kJournalHeader || lines.at(lines.size() - 2) != kJournalEnd ||
        !lines.last().isEmpty())
        return JournalRead::Damaged;
    for (qsizetype i = 1; i < lines.size() - 2; ++i) {
        const QByteArray &line = lines.at(i);
        const QByteArray path = line.mid(2);
        if ((!line.startsWith("R ") && !line.startsWith("N ")) || !checkEntryName(path).ok)
            return JournalRead::Damaged;
        moves.push_back({path, line.startsWith('R')});
    }
    return JournalRead::Read;
}

// The three trees a move touches, each with its own cursor.
class Trees
{
public:
    Trees(int folderFd, int workFd)
        : m_staging(openat(workFd, kStaging, kFolderOpenFlags)),
          m_backupRoot(openBackup(workFd)),
          m_folder(folderFd),
          m_staged(m_staging.get()),
          m_backup(m_backupRoot.get())
    {}

    bool valid() const { return m_staging.valid() && m_backupRoot.valid(); }

    // Makes one move. A move found done already (a commit taken up again) is
    // left as it is.
    bool apply(const Move &move)
    {
        const QByteArray parent = parentOf(move.path);
        const QByteArray name = nameOf(move.path);
        const int stagedFd = m_staged.open(parent, false);
        if (stagedFd < 0 || !exists(stagedFd, name))
            return errno == ENOENT;
        const int folderFd = m_folder.open(parent, false);
        if (folderFd < 0)
            return false;
        if (move.replace) {
            const int backupFd = m_backup.open(parent, true);
            if (backupFd < 0)
                return false;
            // A second name for the old file keeps it whole and in place until
            // the new one takes its name; where the file system has no hard
            // links, it moves aside for a moment.
            if (!exists(backupFd, name) && linkat(folderFd, name.constData(), backupFd, name.constData(), 0) != 0 &&
                renameat(folderFd, name.constData(), backupFd, name.constData()) != 0 && errno != ENOENT)
                return false;
        }
        return renameat(stagedFd, name.constData(), folderFd, name.constData()) == 0;
    }

    // Takes back a move, made or not: the new file goes back to staging, then
    // the old one returns. Each step can be made again by apply(), so an undo
    // cut short (a failing disk) leaves nothing that recover() cannot finish:
    // a new file is never deleted here.
    bool undo(const Move &move)
    {
        const QByteArray parent = parentOf(move.path);
        const QByteArray name = nameOf(move.path);
        const int folderFd = m_folder.open(parent, false);
        if (folderFd < 0)
            return errno == ENOENT;
        const int stagedFd = m_staged.open(parent, true);
        if (stagedFd < 0)
            return false;
        if (!exists(stagedFd, name) && exists(folderFd, name) &&
            renameat(folderFd, name.constData(), stagedFd, name.constData()) != 0)
            return false;
        if (move.replace) {
            const int backupFd = m_backup.open(parent, false);
            if (backupFd >= 0 && exists(backupFd, name))
                return renameat(backupFd, name.constData(), folderFd, name.constData()) == 0;
        }
        return true;
    }

private:
    static int openBackup(int workFd)
    {
        if (mkdirat(workFd, kBackup, 0700) != 0 && errno != EEXIST)
            return -1;
        return openat(workFd, kBackup, kFolderOpenFlags);
    }

    Fd m_staging;
    Fd m_backupRoot;
    FolderCursor m_folder;
    FolderCursor m_staged;
    FolderCursor m_backup;
};

bool undoAll(Trees &trees, const std::vector<Move> &moves, size_t count)
{
    bool ok = true;
    for (size_t i = count; i-- > 0;)
        ok = trees.undo(moves[i]) && ok;
    return ok;
}

Fd openFolder(const QString &folder)
{
    return Fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

} // namespace

FolderTransaction::FolderTransaction(QString folder) : m_folder(std::move(folder)) {}

FolderTransaction::~FolderTransaction()
{
    discard();
}

QString FolderTransaction::stagingPath() const
{
    return m_folder + u'/' + kWorkFolderName + u'/' + QLatin1String(kStaging);
}

FolderTransaction::Recovery FolderTransaction::recover(const QString &folder, QString *message)
{
    const auto say = [message](Recovery recovery, const QString &text) {
        if (message)
            *message = text;
        return recovery;
    };
    const Fd folderFd = openFolder(folder);
    const QByteArray work = QFile::encodeName(kWorkFolderName);
    Fd workFd(folderFd.valid() ? openat(folderFd.get(), work.constData(), kFolderOpenFlags) : -1);
    if (!workFd.valid()) {
        if (errno == ENOENT)
            return say(Recovery::Nothing, {});
        return say(Recovery::Failed, QStringLiteral("%1/%2: %3").arg(folder, kWorkFolderName, errnoText(errno)));
    }
    std::vector<Move> moves;
    const JournalRead journal = readJournal(workFd.get(), moves);
    if (journal == JournalRead::Damaged)
        return say(Recovery::Failed, QStringLiteral("%1/%2: the journal cannot be read").arg(folder, kWorkFolderName));
    Recovery done = Recovery::Discarded;
    QString text = QStringLiteral("removed the files of an update that was cut off before it was complete");
    if (journal == JournalRead::Read) {
        Trees trees(folderFd.get(), workFd.get());
        size_t applied = 0;
        while (trees.valid() && applied < moves.size() && trees.apply(moves[applied]))
            ++applied;
        done = Recovery::Finished;
        text = QStringLiteral("finished an update that was cut off while its files were put in place");
        if (applied < moves.size()) {
            const QString why = QStringLiteral("%1: %2").arg(QString::fromUtf8(moves[applied].path), errnoText(errno));
            if (!trees.valid() || !undoAll(trees, moves, moves.size()))
                return say(Recovery::Failed, QStringLiteral("an update that was cut off can be neither finished nor "
                                                            "undone (%1); its files wait in %2/%3")
                                                 .arg(why, folder, kWorkFolderName));
            done = Recovery::Undone;
            text = QStringLiteral("undid an update that was cut off and cannot be finished (%1)").arg(why);
        }
    }
    workFd.reset();
    if (!removeTree(folderFd.get(), work.constData()))
        return say(Recovery::Failed,
                   QStringLiteral("%1/%2 cannot be removed: %3").arg(folder, kWorkFolderName, errnoText(errno)));
    return say(done, text);
}

bool FolderTransaction::begin(QString *error)
{
    discard();
    QString message;
    if (recover(m_folder, &message) == Recovery::Failed) {
        *error = message;
        return false;
    }
    const Fd folderFd = openFolder(m_folder);
    const QByteArray work = QFile::encodeName(kWorkFolderName);
    if (!folderFd.valid() || mkdirat(folderFd.get(), work.constData(), 0700) != 0) {
        *error = QStringLiteral("%1/%2: %3").arg(m_folder, kWorkFolderName, errnoText(errno));
        return false;
    }
    const Fd workFd(openat(folderFd.get(), work.constData(), kFolderOpenFlags));
    if (!workFd.valid() || mkdirat(workFd.get(), kStaging, 0700) != 0) {
        *error = QStringLiteral("%1: %2").arg(stagingPath(), errnoText(errno));
        removeTree(folderFd.get(), work.constData());
        return false;
    }
    m_open = true;
    return true;
}

FolderTransaction::Result FolderTransaction::commit(const std::function<void(int done, int total)> &progress)
{
    if (!m_open)
        return failure(Status::WriteFailed, QStringLiteral("nothing staged"));
    m_open = false;
    const QByteArray work = QFile::encodeName(kWorkFolderName);
    const Fd folderFd = openFolder(m_folder);
    Fd workFd(folderFd.valid() ? openat(folderFd.get(), work.constData(), kFolderOpenFlags) : -1);
    const Fd stagingFd(workFd.valid() ? openat(workFd.get(), kStaging, kFolderOpenFlags) : -1);
    if (!stagingFd.valid())
        return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(stagingPath(), errnoText(errno)));
    const auto removeWork = [&] { removeTree(folderFd.get(), work.constData()); };

    std::vector<Move> moves;
    Result result = plan(stagingFd.get(), folderFd.get(), moves);
    if (!result.ok()) {
        removeWork();
        return result;
    }
    // The staged files are complete before the journal names them: a process
    // killed from here on leaves nothing that recover() cannot finish. (They
    // are not flushed to disk first: that would cost a fifth of the update's
    // time, for a power cut rather than a killed process.)
    QString journalError;
    if (!writeJournal(workFd.get(), moves, &journalError)) {
        removeWork();
        return failure(Status::WriteFailed, journalError);
    }
    Trees trees(folderFd.get(), workFd.get());
    size_t applied = 0;
    while (trees.valid() && applied < moves.size() && trees.apply(moves[applied])) {
        ++applied;
        if (progress)
            progress(int(applied), int(moves.size()));
    }
    if (applied < moves.size()) {
        const int error = errno;
        const QString why = trees.valid() ? QStringLiteral("%1: %2").arg(text(moves[applied].path), errnoText(error))
                                          : QStringLiteral("%1: %2").arg(m_folder, errnoText(error));
        // Undone, the folder is as it was; else the journal stays for recover().
        if (!undoAll(trees, moves, applied))
            return failure(Status::Unfinished, why);
        removeWork();
        return failure(Status::WriteFailed, why);
    }
    workFd.reset();
    removeWork();
    result.moved = int(moves.size());
    return result;
}

void FolderTransaction::discard()
{
    if (!m_open)
        return;
    m_open = false;
    const Fd folderFd = openFolder(m_folder);
    if (folderFd.valid())
        removeTree(folderFd.get(), QFile::encodeName(kWorkFolderName).constData());
}
