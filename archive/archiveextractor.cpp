#include "archiveextractor.h"

#include "entryname.h"
#include "foldertransaction.h"
#include "safefolders.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStorageInfo>
#include <QtEndian>

#include <zip.h>

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

constexpr size_t kReadBufferBytes = 256 * 1024;
// The program's own names in the folder (its update's work folder, for one)
// begin so; no archive may bring one.
constexpr char kOwnPrefix[] = ".kml-";
// How often a long unpacking reports, so that its caller can let events run.
constexpr qint64 kProgressIntervalMs = 50;

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

struct PlannedEntry
{
    zip_uint64_t index = 0;
    QByteArrayList parts;
    QByteArray path; // parts joined by "/"
    bool directory = false;
    quint64 size = 0;
    bool hasMtime = false;
    time_t mtime = 0;

    // Parts that name folders: all of a folder's, all but the last of a file's.
    qsizetype folderParts() const { return directory ? parts.size() : parts.size() - 1; }
};

// An entry as the central directory records it. libzip hands names out as C
// strings, cut at the first NUL byte: "page.htm\0.exe" would be written as
// "page.htm" where the archive's own tools show another name.
struct RawEntry
{
    QByteArray name;
    quint32 crc = 0;
    quint32 compressedSize = 0; // 0xFFFFFFFF: the real size is in a Zip64 field
};

bool readAt(int fd, quint64 offset, qint64 size, QByteArray &out)
{
    out.resize(qsizetype(size));
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, out.data() + done, size_t(size - done), off_t(offset + quint64(done)));
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

quint16 le16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 le32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint64 le64(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint64>(b.constData() + at);
}

// Reads the central directory from the end-of-directory records (Zip64 ones
// included). False when it cannot be found or read whole.
bool readCentralDirectory(int fd, quint64 archiveSize, std::vector<RawEntry> &entries)
{
    constexpr qint64 kEndRecord = 22;
    const qint64 tailSize = qint64(std::min<quint64>(archiveSize, kEndRecord + 0xFFFF));
    QByteArray tail;
    if (tailSize < kEndRecord || !readAt(fd, archiveSize - quint64(tailSize), tailSize, tail))
        return false;
    qsizetype end = -1;
    for (qsizetype at = tail.size() - kEndRecord; at >= 0; --at) {
        if (le32(tail, at) == 0x06054b50 && at + kEndRecord + le16(tail, at + 20) <= tail.size()) {
            end = at;
            break;
        }
    }
    if (end < 0)
        return false;
    quint64 count = le16(tail, end + 10);
    quint64 size = le32(tail, end + 12);
    quint64 offset = le32(tail, end + 16);
    if (count == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF) {
        const quint64 endAt = archiveSize - quint64(tailSize) + quint64(end);
        QByteArray locator;
        QByteArray record;
        if (endAt < 20 || !readAt(fd, endAt - 20, 20, locator) || le32(locator, 0) != 0x07064b50)
            return false;
        const quint64 recordAt = le64(locator, 8);
        if (recordAt > archiveSize - 56 || !readAt(fd, recordAt, 56, record) || le32(record, 0) != 0x06064b50)
            return false;
        count = le64(record, 32);
        size = le64(record, 40);
        offset = le64(record, 48);
    }
    QByteArray directory;
    if (offset > archiveSize || size > archiveSize - offset || count > size / 46 ||
        !readAt(fd, offset, qint64(size), directory))
        return false;
    entries.reserve(size_t(count));
    qsizetype at = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (at + 46 > directory.size() || le32(directory, at) != 0x02014b50)
            return false;
        const qsizetype nameLength = le16(directory, at + 28);
        const qsizetype next = at + 46 + nameLength + le16(directory, at + 30) + le16(directory, at + 32);
        if (next > directory.size())
            return false;
        entries.push_back({directory.mid(at + 46, nameLength), le32(directory, at + 16), le32(directory, at + 20)});
        at = next;
    }
    return true;
}

class ExtractionRun
{
public:
    ExtractionRun(const ExtractionLimits &limits, const QStringList &protectedNames)
        : m_limits(limits), m_protectedNames(wildcards(protectedNames))
    {}

    ExtractionResult run(const QString &zipPath, const QString &staging, const ArchiveExtractor::Progress &progress)
    {
        ExtractionResult result = open(zipPath);
        if (result.ok())
            result = unpack(staging, progress);
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
        m_fd = fd;
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
            return failure(
                Status::Refused,
                QStringLiteral("%1 has %2 entries, more than %3").arg(zipPath).arg(count).arg(m_limits.maxEntries));
        m_count = zip_uint64_t(count);
        // The names with their true length; the same directory as libzip's,
        // or the archive is not what it seems.
        if (!readCentralDirectory(m_fd, m_archiveSize, m_raw) || m_raw.size() != m_count)
            return failure(Status::Damaged, QStringLiteral("%1: the central directory cannot be read").arg(zipPath));
        return {};
    }

    ExtractionResult stat(zip_uint64_t index, zip_stat_t &st)
    {
        zip_stat_init(&st);
        constexpr zip_uint64_t kNeeded = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD |
                                         ZIP_STAT_ENCRYPTION_METHOD | ZIP_STAT_CRC;
        if (zip_stat_index(m_archive.get(), index, 0, &st) != 0 || (st.valid & kNeeded) != kNeeded || !st.name)
            return failure(Status::Damaged, QStringLiteral("entry %1 cannot be read").arg(index));
        const RawEntry &raw = m_raw[index];
        if (raw.crc != st.crc || (raw.compressedSize != 0xFFFFFFFF && raw.compressedSize != st.comp_size))
            return failure(Status::Damaged,
                           QStringLiteral("entry %1 differs between two readings of the directory").arg(index));
        for (const char c : raw.name) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return failure(Status::Refused, QStringLiteral("%1: control character in name")
                                                    .arg(QString::fromLatin1(raw.name.toPercentEncoding("/"))));
        }
        return {};
    }

    // Decides, from the central directory alone, what every entry becomes.
    ExtractionResult plan()
    {
        quint64 compressedSum = 0;
        QHash<QByteArray, bool> paths; // path -> is a folder
        QSet<QByteArray> folders;      // every folder that a file needs
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
            if (checked.parts.first().startsWith(kOwnPrefix) || matchesAny(m_protectedNames, checked.parts.first()))
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
                    return failure(
                        Status::Refused,
                        QStringLiteral("%1: unsupported compression method %2").arg(text(name)).arg(st.comp_method));
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

        // Entries that share their data are the tell of an archive built to unpack
        // to far more than it holds: their compressed sizes add up past its end.
        if (compressedSum > m_archiveSize)
            return failure(Status::Refused, QStringLiteral("entries overlap: %1 compressed bytes in an archive of %2")
                                                .arg(compressedSum)
                                                .arg(m_archiveSize));
        if (m_declaredSize > m_limits.maxTotalSize)
            return failure(Status::Refused, QStringLiteral("the archive unpacks to %1 bytes, more than %2")
                                                .arg(m_declaredSize)
                                                .arg(m_limits.maxTotalSize));
        if (m_declaredSize > m_limits.ratioFloor &&
            m_declaredSize / std::max<quint64>(m_archiveSize, 1) > m_limits.maxRatio)
            return failure(
                Status::Refused,
                QStringLiteral("the archive unpacks to %1 bytes from %2").arg(m_declaredSize).arg(m_archiveSize));
        return {};
    }

    ExtractionResult unpackOne(const PlannedEntry &entry, FolderCursor &staging, std::vector<char> &buffer,
                               const std::function<bool()> &goOn)
    {
        const int parentFd = staging.open(parentOf(entry.path), true);
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
                return failure(
                    Status::Damaged,
                    QStringLiteral("%1: longer than its declared %2 bytes").arg(text(entry.path)).arg(entry.size));
            if (!writeAll(out.get(), buffer.data(), size_t(n)))
                return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno)));
            if (!goOn())
                return failure(Status::Cancelled, QStringLiteral("cancelled"));
        }
        if (total != entry.size)
            return failure(
                Status::Damaged,
                QStringLiteral("%1: %2 bytes where %3 were declared").arg(text(entry.path)).arg(total).arg(entry.size));
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

    ExtractionResult unpack(const QString &staging, const ArchiveExtractor::Progress &progress)
    {
        if (ExtractionResult planned = plan(); !planned.ok())
            return planned;
        const Fd stagingFd(::open(QFile::encodeName(staging).constData(), kFolderOpenFlags));
        if (!stagingFd.valid())
            return failure(Status::WriteFailed, QStringLiteral("%1: %2").arg(staging, errnoText(errno)));
        // Every file is written before the replaced ones go, so all of it must fit.
        const QStorageInfo storage(staging);
        if (storage.isValid() && storage.bytesAvailable() >= 0 && quint64(storage.bytesAvailable()) < m_declaredSize)
            return failure(Status::WriteFailed, QStringLiteral("%1 bytes to write, %2 free in %3")
                                                    .arg(m_declaredSize)
                                                    .arg(storage.bytesAvailable())
                                                    .arg(staging));

        int files = 0;
        for (const PlannedEntry &entry : m_plan)
            files += entry.directory ? 0 : 1;
        int done = 0;
        // Heard at the first chance, then now and then.
        QElapsedTimer sinceReport;
        const auto goOn = [&] {
            if (!progress || (sinceReport.isValid() && sinceReport.elapsed() < kProgressIntervalMs))
                return true;
            sinceReport.start();
            return progress(done, files);
        };
        FolderCursor cursor(stagingFd.get());
        std::vector<char> buffer(kReadBufferBytes);
        for (const PlannedEntry &entry : m_plan) {
            if (entry.directory) {
                if (cursor.open(entry.path, true) < 0)
                    return failure(Status::WriteFailed,
                                   QStringLiteral("%1: %2").arg(text(entry.path), errnoText(errno)));
                continue;
            }
            if (ExtractionResult one = unpackOne(entry, cursor, buffer, goOn); !one.ok())
                return one;
            ++done;
            if (!goOn())
                return failure(Status::Cancelled, QStringLiteral("cancelled"));
        }
        ExtractionResult result;
        result.filesWritten = done;
        return result;
    }

    const ExtractionLimits &m_limits;
    QList<QRegularExpression> m_protectedNames;
    ZipArchive m_archive;
    int m_fd = -1; // the archive file, owned by m_archive
    quint64 m_archiveSize = 0;
    zip_uint64_t m_count = 0;
    // Every file is written before the replaced ones go, so all of it must fit.
    quint64 m_declaredSize = 0;
    std::vector<PlannedEntry> m_plan;
    std::vector<RawEntry> m_raw;
};

} // namespace

ExtractionResult ArchiveExtractor::unpack(const QString &zipPath, const QString &staging,
                                          const Progress &progress) const
{
    ExtractionRun run(m_limits, m_protectedNames);
    return run.run(zipPath, staging, progress);
}

ExtractionResult ArchiveExtractor::extract(const QString &zipPath, const QString &destination) const
{
    FolderTransaction transaction(destination);
    QString error;
    if (!transaction.begin(&error))
        return failure(Status::WriteFailed, error);
    ExtractionResult result = unpack(zipPath, transaction.stagingPath());
    if (!result.ok())
        return result;
    const FolderTransaction::Result committed = transaction.commit();
    if (!committed.ok()) {
        const Status status =
            committed.status == FolderTransaction::Result::Status::Conflict ? Status::Conflict : Status::WriteFailed;
        return failure(status, committed.message);
    }
    return result;
}
