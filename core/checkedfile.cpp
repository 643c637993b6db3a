#include "checkedfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CheckedFileWriter", text);
}

bool writeFully(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            // A write that takes nothing and says nothing: treat it as a full disk.
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Where a chain of links at `path` ends, or `path` itself when it is no link.
QString followLinks(const QString &path)
{
    QFileInfo info(path);
    for (int hops = 0; info.isSymLink() && hops < 40; ++hops)
        info.setFile(info.symLinkTarget());
    return info.filePath();
}

} // namespace

QString errnoText(int error)
{
    if (error == ENOSPC)
        return tr("no space left on the device");
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isSpecialFile(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return !S_ISREG(st.st_mode);
}

CheckedFileWriter::CheckedFileWriter(QString path) : m_path(std::move(path)) {}

CheckedFileWriter::CheckedFileWriter(int folderFd, QByteArray name)
    : m_path(QFile::decodeName(name)), m_folderFd(folderFd), m_name(std::move(name))
{}

CheckedFileWriter::~CheckedFileWriter()
{
    cancel();
    if (m_ownsFolderFd && m_folderFd >= 0)
        ::close(m_folderFd);
}

bool CheckedFileWriter::fail(int error, const QString &what)
{
    m_error = tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(m_path), what.isEmpty() ? errnoText(error) : what);
    cancel();
    return false;
}

bool CheckedFileWriter::open()
{
    cancel();
    m_error.clear();
    if (m_folderFd < 0) {
        const QString target = followLinks(m_path);
        const QFileInfo info(target);
        m_name = QFile::encodeName(info.fileName());
        const int folderFd =
            ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd < 0)
            return fail(errno, {});
        m_folderFd = folderFd;
        m_ownsFolderFd = true;
    }
    if (m_name.isEmpty())
        return fail(ENOENT, {});

    struct stat st;
    mode_t mode = 0666;
    bool keepMode = false;
    if (::fstatat(m_folderFd, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR, {});
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            return fail(0, tr("it exists and is not a file"));
        if (S_ISREG(st.st_mode)) {
            mode = st.st_mode & 07777;
            keepMode = true;
        }
    } else if (errno != ENOENT) {
        return fail(errno, {});
    }

    // A file without a name leaves nothing behind when the process is killed
    // before the rename; where the file system has no such files, a hidden
    // name beside the file does the same job.
    m_fd = ::openat(m_folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return fail(errno, {});
        for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
            m_tempName = '.' + m_name + ".new-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            m_fd = ::openat(m_folderFd, m_tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            0666);
            if (m_fd < 0 && errno != EEXIST) {
                m_tempName.clear();
                return fail(errno, {});
            }
        }
        if (m_fd < 0) {
            m_tempName.clear();
            return fail(EEXIST, {});
        }
    }
    if (keepMode && ::fchmod(m_fd, mode) != 0)
        return fail(errno, {});
    return true;
}

bool CheckedFileWriter::write(QByteArrayView bytes)
{
    if (m_fd < 0)
        return m_error.isEmpty() ? fail(EBADF, {}) : false;
    if (!writeFully(m_fd, bytes.data(), bytes.size()))
        return fail(errno, {});
    return true;
}

bool CheckedFileWriter::commit()
{
    if (m_fd < 0)
        return m_error.isEmpty() ? fail(EBADF, {}) : false;
    if (::fsync(m_fd) != 0)
        return fail(errno, {});
    if (m_tempName.isEmpty()) {
        // Give the nameless file a hidden name first: linkat cannot replace a file.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        for (int attempt = 0; attempt < 16 && m_tempName.isEmpty(); ++attempt) {
            const QByteArray name =
                '.' + m_name + ".new-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            if (::linkat(AT_FDCWD, self.constData(), m_folderFd, name.constData(), AT_SYMLINK_FOLLOW) == 0)
                m_tempName = name;
            else if (errno != EEXIST)
                return fail(errno, {});
        }
        if (m_tempName.isEmpty())
            return fail(EEXIST, {});
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(errno, {});
    if (::renameat(m_folderFd, m_tempName.constData(), m_folderFd, m_name.constData()) != 0)
        return fail(errno, {});
    m_tempName.clear();
    if (::fsync(m_folderFd) != 0) {
        // The new file is in place; only its durability across a power cut is
        // in doubt. Say so rather than claim the old file is still there.
        m_error = tr("%1 was written, but the folder could not be flushed to the disk: %2")
                      .arg(QDir::toNativeSeparators(m_path), errnoText(errno));
        return false;
    }
    return true;
}

void CheckedFileWriter::cancel()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.isEmpty() && m_folderFd >= 0)
        ::unlinkat(m_folderFd, m_tempName.constData(), 0);
    m_tempName.clear();
}

bool replaceFileContents(const QString &path, QByteArrayView bytes, QString *error)
{
    CheckedFileWriter file(path);
    const bool ok = file.open() && file.write(bytes) && file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

bool replaceFileContentsAt(int folderFd, const QByteArray &name, QByteArrayView bytes, QString *error)
{
    CheckedFileWriter file(folderFd, name);
    const bool ok = file.open() && file.write(bytes) && file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

bool copyFileContents(const QString &from, const QString &to, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return fail(source.errorString());
    CheckedFileWriter target(to);
    if (!target.open())
        return fail(target.errorString());
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (qint64 n; (n = source.read(block.data(), block.size())) != 0;) {
        if (n < 0)
            return fail(source.errorString());
        if (!target.write(QByteArrayView(block.constData(), n)))
            return fail(target.errorString());
    }
    return target.commit() || fail(target.errorString());
}
