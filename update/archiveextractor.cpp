#include "archiveextractor.h"

#include "entryname.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStorageInfo>

#include <zip.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using Status = ExtractionResult::Status;

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr size_t kReadBufferBytes = 256 * 1024;
constexpr time_t kStaleStagingSeconds = 3600;
constexpr char kStagingPrefix[] = ".kml-unpack-";

ExtractionResult failure(Status status, const QString &message)
{
    ExtractionResult result;
    result.status = status;
    result.message = message;
    return result;
}

QString text(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString zipErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString message = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return message;
}

bool addChecked(quint64 &sum, quint64 value)
{
    return !__builtin_add_overflow(sum, value, &sum);
}

// The protected names as expressions, for the one part of a name they apply to.
QList<QRegularExpression> wildcards(const QStringList &patterns)
{
    QList<QRegularExpression> out;
    for (const QString &pattern : patterns)
        out.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern)));
    return out;
}

bool matchesAny(const QList<QRegularExpression> &expressions, QByteArrayView name)
{
    const QString decoded = QString::fromUtf8(name);
    return std::any_of(expressions.cbegin(), expressions.cend(),
                       [&](const QRegularExpression &expression) { return expression.match(decoded).hasMatch(); });
}

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Closes and reports what close() said: a delayed write error shows here.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

struct ZipDiscard
{
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;

struct ZipFileClose
{
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileClose>;

// Removes a file or a whole folder below parentFd; links are removed, never followed.
bool removeTree(int parentFd, const char *name)
{
    const int fd = openat(parentFd, name, kDirFlags);
    if (fd < 0) {
        if (errno == ENOTDIR || errno == ELOOP)
            return unlinkat(parentFd, name, 0) == 0;
        return errno == ENOENT;
    }
    DIR *dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (const dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(st.st_mode))
            ok = removeTree(dirfd(dir), entry->d_name) && ok;
        else
            ok = unlinkat(dirfd(dir), entry->d_name, 0) == 0 && ok;
    }
    closedir(dir);
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0 && ok;
}

// Staging folders that a crashed run left behind; young ones may belong to a
// run of another instance of the program that is still going on.
void removeStaleStaging(int destFd)
{
    const int fd = openat(destFd, ".", kDirFlags);
    if (fd < 0)
        return;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    const time_t now = std::time(nullptr);
    std::vector<QByteArray> stale;
    while (const dirent *entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, kStagingPrefix, sizeof kStagingPrefix - 1) != 0)
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
            now - st.st_mtime > kStaleStagingSeconds)
            stale.emplace_back(entry->d_name);
    }
    closedir(dir);
    for (const QByteArray &name : stale)
        removeTree(destFd, name.constData());
}

// Folders below one root, each part opened without following links and kept
// open for the files that follow. Folders that it makes are remembered so that a
// failed run can take them away again.
class FolderWalker
{
public:
    explicit FolderWalker(int rootFd) : m_root(rootFd) {}
    ~FolderWalker()
    {
        for (const int fd : std::as_const(m_fds))
            ::close(fd);
    }
    FolderWalker(const FolderWalker &) = delete;
    FolderWalker &operator=(const FolderWalker &) = delete;

    // The folder named by the first `count` parts, made when missing and `create`
    // is set; -1 with errno set when it cannot be had (ELOOP or ENOTDIR: a link or
    // a file stands where a folder belongs). failedAt names the part that failed.
    int open(const QByteArrayList &parts, qsizetype count, bool create, QByteArray *failedAt = nullptr)
    {
        int fd = m_root;
        QByteArray path;
        for (qsizetype i = 0; i < count; ++i) {
            if (i > 0)
                path += '/';
            path += parts.at(i);
            if (const auto it = m_fds.constFind(path); it != m_fds.cend()) {
                fd = *it;
                continue;
            }
            int next = openat(fd, parts.at(i).constData(), kDirFlags);
            if (next < 0 && errno == ENOENT && create) {
                const bool made = mkdirat(fd, parts.at(i).constData(), 0777) == 0;
                if (made)
                    m_created.push_back(path);
                if (made || errno == EEXIST)
                    next = openat(fd, parts.at(i).constData(), kDirFlags);
            }
            if (next < 0) {
                const int error = errno;
                if (failedAt)
                    *failedAt = path;
                errno = error;
                return -1;
            }
            m_fds.insert(path, next);
            fd = next;
        }
        return fd;
    }

    // Removes the folders this walker made, newest first, where they are empty.
    void removeCreated()
    {
        for (auto it = m_created.crbegin(); it != m_created.crend(); ++it) {
            const QByteArray &path = *it;
            const qsizetype slash = path.lastIndexOf('/');
            const QByteArray parent = slash < 0 ? QByteArray() : path.left(slash);
            const int parentFd = parent.isEmpty() ? m_root : m_fds.value(parent, -1);
            if (const auto own = m_fds.find(path); own != m_fds.end()) {
                ::close(*own);
                m_fds.erase(own);
            }
            if (parentFd >= 0)
                unlinkat(parentFd, path.mid(slash + 1).constData(), AT_REMOVEDIR);
        }
        m_created.clear();
    }

private:
    int m_root;
    QHash<QByteArray, int> m_fds;
    std::vector<QByteArray> m_created;
};

struct PlannedEntry
{
    zip_uint64_t index = 0;
    QByteArrayList parts;
    QByteArray path;  // parts joined by "/"
    bool directory = false;
    quint64 size = 0;
    bool hasMtime = false;
    time_t mtime = 0;

    // Parts that name folders: all of a folder's, all but the last of a file's.
    qsizetype folderParts() const { return directory ? parts.size() : parts.size() - 1; }
};

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

class ExtractionRun
{
public:
    ExtractionRun(const ExtractionLimits &limits, const QStringList &protectedNames)
        : m_limits(limits), m_protectedNames(wildcards(protectedNames))
    {
    }

    ExtractionResult run(const QString &zipPath, const QString &destination)
    {
        ExtractionResult result = open(zipPath);
        if (result.ok())
            result = extract(destination);
        return result;
    }

private:
    ExtractionResult open(const QString &zipPath)
    {
        const QByteArray path = QFile::encodeName(zipPath);
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return failure(Status::CannotOpen, QStringLiteral("cannot open %1: %2").arg(zipPath, errnoText(errno)));
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return failure(Status::NotAnArchive, QStringLiteral("%1 is no file").arg(zipPath));
        }
        m_archiveSize = quint64(st.st_size);
        FILE *file = fdopen(fd, "rb");
        if (!file) {
            ::close(fd);
            return failure(Status::CannotOpen, QStringLiteral("cannot open %1: %2").arg(zipPath, errnoText(errno)));
        }
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t *source = zip_source_filep_create(file, 0, -1, &error);
        if (!source) {
            std::fclose(file);
            const QString message = QString::fromUtf8(zip_error_strerror(&error));
            zip_error_fini(&error);
            return failure(Status::CannotOpen, message);
        }
        // Without CHECKCONS, duplicate names and headers that disagree pass. With
        // it, libzip 1.7 also refuses archives whose local headers carry a size
        // next to a data descriptor (libarchive, "cmake -E tar", writes those).
        zip_t *archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (!archive) {
            zip_source_free(source);
            const int code = zip_error_code_zip(&error);
            const QString message = QString::fromUtf8(zip_error_strerror(&error));
            zip_error_fini(&error);
            if (code == ZIP_ER_NOZIP)
                return failure(Status::NotAnArchive, QStringLiteral("%1 is no zip archive").arg(zipPath));
            return failure(Status::Damaged, QStringLiteral("%1: %2").arg(zipPath, message));
        }
        zip_error_fini(&error);
        m_archive.reset(archive);
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        if (count < 0)
            return failure(Status::Damaged, QStringLiteral("%1: unreadable directory").arg(zipPath));
        if (count > m_limits.maxEntries)
            return failure(Status::Refused, QStringLiteral("%1 has %2 entries, more than %3")
                                                .arg(zipPath).arg(count).arg(m_limits.maxEntries));
        m_count = zip_uint64_t(count);
        return {};
    }

    ExtractionResult stat(zip_uint64_t index, zip_stat_t &st)
    {
        zip_stat_init(&st);
        constexpr zip_uint64_t kNeeded = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD |
                                         ZIP_STAT_ENCRYPTION_METHOD;
        if (zip_stat_index(m_archive.get(), index, 0, &st) != 0 || (st.valid & kNeeded) != kNeeded || !st.name)
            return failure(Status::Damaged, QStringLiteral("entry %1 cannot be read").arg(index));
        return {};
    }

    // Decides, from the central directory alone, what every entry becomes.
    ExtractionResult plan()
    {
        quint64 compressedSum = 0;
        QHash<QByteArray, bool> paths;  // path -> is a folder
        QSet<QByteArray> folders;        // every folder that a file needs
        for (zip_uint64_t i = 0; i < m_count; ++i) {
            zip_stat_t st;
            if (const ExtractionResult bad = stat(i, st); !bad.ok())
                return bad;
            const QByteArray name(st.name);
            if (!addChecked(compressedSum, st.comp_size))
                return failure(Status::Refused, QStringLiteral("compressed sizes overflow"));

            const EntryName checked = checkEntryName(name);
            if (!checked.ok)
                return failure(Status::Refused, QStringLiteral("%1: %2").arg(text(name), checked.reason));
            if (checked.parts.first().startsWith(kStagingPrefix) ||
                matchesAny(m_protectedNames, checked.parts.first()))
                return failure(Status::Refused, QStringLiteral("%1: reserved name").arg(text(name)));

            PlannedEntry entry;
            entry.index = i;
            entry.directory = checked.directory;
            zip_uint8_t opsys = 0;
            zip_uint32_t attributes = 0;
            if (zip_file_get_external_attributes(m_archive.get(), i, 0, &opsys, &attributes) == 0 &&
                opsys == ZIP_OPSYS_UNIX) {
                const mode_t type = mode_t(attributes >> 16) & S_IFMT;
                if (type == S_IFLNK)
                    return failure(Status::Refused, QStringLiteral("%1: symbolic link").arg(text(name)));
                if (type != 0 && type != S_IFREG && type != S_IFDIR)
                    return failure(Status::Refused, QStringLiteral("%1: special file").arg(text(name)));
                if (type == S_IFDIR)
                    entry.directory = true;
            }
            if (entry.directory) {
                if (st.size != 0)
                    return failure(Status::Refused, QStringLiteral("%1: folder entry with data").arg(text(name)));
            } else {
                if (!zip_compression_method_supported(st.comp_method, 0))
                    return failure(Status::Refused, QStringLiteral("%1: unsupported compression method %2")
                                                        .arg(text(name)).arg(st.comp_method));
                // The lists come unencrypted: an encrypted entry is no list's.
                if (st.encryption_method != ZIP_EM_NONE)
                    return failure(Status::Refused, QStringLiteral("%1: encrypted").arg(text(name)));
                if (!addChecked(m_declaredSize, st.size))
                    return failure(Status::Refused, QStringLiteral("declared sizes overflow"));
            }
            entry.parts = checked.parts;
            entry.path = entry.parts.join('/');
            entry.size = st.size;
            entry.hasMtime = (st.valid & ZIP_STAT_MTIME) != 0;
            entry.mtime = st.mtime;

            // Within the archive, a name is a file or a folder, never both.
            if (const auto seen = paths.constFind(entry.path); seen != paths.cend()) {
                if (!entry.directory || !*seen)
                    return failure(Status::Refused, QStringLiteral("%1: named twice").arg(text(entry.path)));
                continue;
            }
            if (!entry.directory && folders.contains(entry.path))
                return failure(Status::Refused, QStringLiteral("%1: both a file and a folder").arg(text(entry.path)));
            QByteArray prefix;
            for (qsizetype p = 0; p < entry.folderParts(); ++p) {
                if (p > 0)
                    prefix += '/';
                prefix += entry.parts.at(p);
                if (paths.value(prefix, true) == false)
                    return failure(Status::Refused, QStringLiteral("%1: both a file and a folder").arg(text(prefix)));
                folders.insert(prefix);
            }
            paths.insert(entry.path, entry.directory);
            m_plan.push_back(std::move(entry));
        }
        m_folderCount = folders.size();

        // Entries that share their data are the tell of an archive built to unpack
        // to far more than it holds: their compressed sizes add up past its end.
        if (compressedSum > m_archiveSize)
            return failure(Status::Refused, QStringLiteral("entries overlap: %1 compressed bytes in an archive of %2")
                                                .arg(compressedSum).arg(m_archiveSize));
        if (m_declaredSize > m_limits.maxTotalSize)
            return failure(Status::Refused, QStringLiteral("the archive unpacks to %1 bytes, more than %2")
                                                .arg(m_declaredSize).arg(m_limits.maxTotalSize));
        if (m_declaredSize > m_limits.ratioFloor &&
            m_declaredSize / std::max<quint64>(m_archiveSize, 1) > m_limits.maxRatio)
            return failure(Status::Refused, QStringLiteral("the archive unpacks to %1 bytes from %2")
                                                .arg(m_declaredSize).arg(m_archiveSize));
        return {};
    }

    // The walkers keep every folder they visit open until the run ends (a rollback
    // needs them), two handles a folder: make sure the process may hold that many,
    // raising its soft limit where the hard limit allows.
    ExtractionResult ensureFolderHandles()
    {
        const rlim_t needed = rlim_t(m_folderCount) * 2 + 256;
        struct rlimit limit;
        if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed)
            return {};
        limit.rlim_cur = (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= needed) ? needed : limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= needed)
            return {};
        return failure(Status::Refused, QStringLiteral("%1 folders: more than this system lets the program open")
                                            .arg(m_folderCount));
    }

    // Looks at what the destination holds where each entry goes; nothing is
    // created here.
    ExtractionResult checkDestination(FolderWalker &dest)
    {
        for (const PlannedEntry &entry : m_plan) {
            QByteArray failedAt;
            const int parentFd = dest.open(entry.parts, entry.folderParts(), false, &failedAt);
            if (parentFd < 0) {
                const int error = errno;
                if (error == ENOENT)
                    continue;  // the folder is new, and so is everything below it
                if (error == ELOOP || error == ENOTDIR)
                    return failure(Status::Conflict,
                                   QStringLiteral("%1 is a link or a file, not a folder").arg(text(failedAt)));
                return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(failedAt), errnoText(error)));
            }
            if (entry.directory)
                continue;
            struct stat st;
            if (fstatat(parentFd, entry.parts.last().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    continue;
                return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno)));
            }
            if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
                return failure(Status::Conflict, QStringLiteral("%1 exists and is no file").arg(text(entry.path)));
        }
        return {};
    }

    ExtractionResult unpackOne(const PlannedEntry &entry, FolderWalker &staging, std::vector<char> &buffer)
    {
        const int parentFd = staging.open(entry.parts, entry.parts.size() - 1, true);
        if (parentFd < 0)
            return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno)));
        Fd out(openat(parentFd, entry.parts.last().constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0666));
        if (!out.valid())
            return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno)));

        zip_t *archive = m_archive.get();
        ZipFile in(zip_fopen_index(archive, entry.index, 0));
        if (!in)
            return failure(Status::Damaged,
                           QStringLiteral("%1: %2").arg(text(entry.path), QString::fromUtf8(zip_strerror(archive))));
        // libzip checks the CRC and the length only once a read returns 0, and does
        // not stop an entry at its declared size: both are on us.
        quint64 total = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
            if (n < 0)
                return failure(Status::Damaged, QStringLiteral("%1: %2").arg(
                                                    text(entry.path), QString::fromUtf8(zip_file_strerror(in.get()))));
            if (n == 0)
                break;
            total += quint64(n);
            if (total > entry.size)
                return failure(Status::Damaged, QStringLiteral("%1: longer than its declared %2 bytes")
                                                    .arg(text(entry.path)).arg(entry.size));
            if (!writeAll(out.get(), buffer.data(), size_t(n)))
                return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno)));
        }
        if (total != entry.size)
            return failure(Status::Damaged, QStringLiteral("%1: %2 bytes where %3 were declared")
                                                .arg(text(entry.path)).arg(total).arg(entry.size));
        const int closed = zip_fclose(in.release());
        if (closed != 0)
            return failure(Status::Damaged, QStringLiteral("%1: %2").arg(text(entry.path), zipErrorText(closed)));
        if (entry.hasMtime) {
            const timespec times[2] = {{0, UTIME_NOW}, {entry.mtime, 0}};
            futimens(out.get(), times);
        }
        if (!out.close())
            return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno)));
        return {};
    }

    struct Moved
    {
        int folderFd;
        QByteArray name;
        QByteArray backup;  // where the replaced file waits in the staging folder, if one was replaced
    };

    // Puts the unpacked files in place. On failure everything moved so far is
    // taken back and the replaced files return.
    ExtractionResult moveIntoPlace(FolderWalker &dest, FolderWalker &staging, int stagingFd, int &written)
    {
        std::vector<Moved> moved;
        auto rollBack = [&](const ExtractionResult &why) {
            for (auto it = moved.crbegin(); it != moved.crend(); ++it) {
                if (it->backup.isEmpty())
                    unlinkat(it->folderFd, it->name.constData(), 0);
                else
                    renameat(stagingFd, it->backup.constData(), it->folderFd, it->name.constData());
            }
            dest.removeCreated();
            written = 0;
            return why;
        };
        int backups = 0;
        for (const PlannedEntry &entry : m_plan) {
            QByteArray failedAt;
            const int folderFd = dest.open(entry.parts, entry.folderParts(), true, &failedAt);
            if (folderFd < 0) {
                const int error = errno;
                const Status status = (error == ELOOP || error == ENOTDIR) ? Status::Conflict : Status::WriteFailed;
                return rollBack(failure(status, QStringLiteral("%1: %2").arg(text(failedAt), errnoText(error))));
            }
            if (entry.directory)
                continue;
            const int stagedFd = staging.open(entry.parts, entry.folderParts(), false);
            if (stagedFd < 0)
                return rollBack(failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno))));
            const QByteArray &name = entry.parts.last();
            Moved move{folderFd, name, {}};
            struct stat st;
            if (fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                if (S_ISDIR(st.st_mode))
                    return rollBack(failure(Status::Conflict, QStringLiteral("%1 is a folder").arg(text(entry.path))));
                // A second name for the old file keeps it whole until the run has
                // succeeded; a file system without hard links gets it moved instead.
                move.backup = "replaced-" + QByteArray::number(backups++);
                if (linkat(folderFd, name.constData(), stagingFd, move.backup.constData(), 0) != 0 &&
                    renameat(folderFd, name.constData(), stagingFd, move.backup.constData()) != 0)
                    return rollBack(failure(Status::WriteFailed,
                                            QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno))));
            }
            if (renameat(stagedFd, name.constData(), folderFd, name.constData()) != 0) {
                const int error = errno;
                if (!move.backup.isEmpty())
                    renameat(stagingFd, move.backup.constData(), folderFd, name.constData());
                return rollBack(failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(entry.path), errnoText(error))));
            }
            moved.push_back(std::move(move));
            ++written;
        }
        return {};
    }

    ExtractionResult extract(const QString &destination)
    {
        if (ExtractionResult planned = plan(); !planned.ok())
            return planned;
        if (ExtractionResult enough = ensureFolderHandles(); !enough.ok())
            return enough;

        Fd destFd(::open(QFile::encodeName(destination).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!destFd.valid())
            return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(destination, errnoText(errno)));
        removeStaleStaging(destFd.get());

        FolderWalker dest(destFd.get());
        if (ExtractionResult checked = checkDestination(dest); !checked.ok())
            return checked;
        const QStorageInfo storage(destination);
        if (storage.isValid() && storage.bytesAvailable() >= 0 && quint64(storage.bytesAvailable()) < m_declaredSize)
            return failure(Status::WriteFailed, QStringLiteral("%1 bytes to write, %2 free in %3")
                                                    .arg(m_declaredSize).arg(storage.bytesAvailable()).arg(destination));

        QByteArray stagingPath = QFile::encodeName(destination) + '/' + kStagingPrefix + "XXXXXX";
        if (!mkdtemp(stagingPath.data()))
            return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(destination, errnoText(errno)));
        const QByteArray stagingName = stagingPath.mid(stagingPath.lastIndexOf('/') + 1);
        ExtractionResult result;
        {
            Fd stagingFd(openat(destFd.get(), stagingName.constData(), kDirFlags));
            if (!stagingFd.valid()) {
                result = failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(stagingPath), errnoText(errno)));
            } else {
                FolderWalker staging(stagingFd.get());
                std::vector<char> buffer(kReadBufferBytes);
                for (const PlannedEntry &entry : m_plan) {
                    if (entry.directory)
                        continue;
                    result = unpackOne(entry, staging, buffer);
                    if (!result.ok())
                        break;
                }
                if (result.ok()) {
                    int written = 0;
                    result = moveIntoPlace(dest, staging, stagingFd.get(), written);
                    result.filesWritten = written;
                }
            }
        }
        removeTree(destFd.get(), stagingName.constData());
        return result;
    }

    const ExtractionLimits &m_limits;
    QList<QRegularExpression> m_protectedNames;
    ZipArchive m_archive;
    quint64 m_archiveSize = 0;
    zip_uint64_t m_count = 0;
    // Every file is written before the replaced ones go, so all of it must fit.
    quint64 m_declaredSize = 0;
    std::vector<PlannedEntry> m_plan;
    qsizetype m_folderCount = 0;
};

} // namespace

ExtractionResult ArchiveExtractor::extract(const QString &zipPath, const QString &destination) const
{
    ExtractionRun run(m_limits, m_protectedNames);
    return run.run(zipPath, destination);
}
