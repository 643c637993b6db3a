#include "safefolders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

Fd &Fd::operator=(Fd &&other) noexcept
{
    if (this != &other) {
        reset(other.m_fd);
        other.m_fd = -1;
    }
    return *this;
}

void Fd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool Fd::close()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
}

int FolderCursor::open(const QByteArray &path, bool create, QByteArray *failedAt)
{
    if (path.isEmpty())
        return m_root;
    if (m_fd.valid() && path == m_path)
        return m_fd.get();
    int fd = m_root;
    qsizetype start = 0;
    if (m_fd.valid() && path.size() > m_path.size() && path.startsWith(m_path) && path.at(m_path.size()) == '/') {
        fd = m_fd.get();
        start = m_path.size() + 1;
    }
    Fd current;
    while (start <= path.size()) {
        qsizetype end = path.indexOf('/', start);
        if (end < 0)
            end = path.size();
        const QByteArray part = path.mid(start, end - start);
        int next = openat(fd, part.constData(), kFolderOpenFlags);
        if (next < 0 && errno == ENOENT && create && (mkdirat(fd, part.constData(), 0777) == 0 || errno == EEXIST))
            next = openat(fd, part.constData(), kFolderOpenFlags);
        if (next < 0) {
            const int error = errno;
            if (failedAt)
                *failedAt = path.left(end);
            current.reset();
            m_fd.reset();
            m_path.clear();
            errno = error;
            return -1;
        }
        current.reset(next);
        fd = next;
        start = end + 1;
    }
    m_fd = std::move(current);
    m_path = path;
    return m_fd.get();
}

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray() : path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

namespace {

// Removes the files of the folder at `path` and returns the names of its
// folders; false when a file cannot be removed or the folder not read.
bool emptyOfFiles(FolderCursor &cursor, const QByteArray &path, std::vector<QByteArray> &folders)
{
    const int fd = cursor.open(path, false);
    if (fd < 0)
        return false;
    DIR *dir = fdopendir(openat(fd, ".", kFolderOpenFlags));
    if (!dir)
        return false;
    bool ok = true;
    while (const dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (unlinkat(fd, entry->d_name, 0) == 0)
            continue;
        if (errno == EISDIR || errno == EPERM)
            folders.emplace_back(entry->d_name);
        else
            ok = ok && errno == ENOENT;
    }
    closedir(dir);
    return ok;
}

} // namespace

bool removeTree(int parentFd, const char *name)
{
    if (unlinkat(parentFd, name, 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return false;
    // Depth first, holding names rather than a handle per level, so that a deep
    // tree needs no more open files than a flat one.
    struct Level
    {
        QByteArray path;
        std::vector<QByteArray> folders;
    };
    FolderCursor cursor(parentFd);
    std::vector<Level> stack(1, Level{QByteArray(name), {}});
    if (!emptyOfFiles(cursor, stack.back().path, stack.back().folders))
        return false;
    while (!stack.empty()) {
        Level &level = stack.back();
        if (!level.folders.empty()) {
            Level next{level.path + '/' + level.folders.back(), {}};
            level.folders.pop_back();
            if (!emptyOfFiles(cursor, next.path, next.folders))
                return false;
            stack.push_back(std::move(next));
            continue;
        }
        const QByteArray path = std::move(level.path);
        stack.pop_back();
        const int parent = stack.empty() ? parentFd : cursor.open(parentOf(path), false);
        if (parent < 0 || unlinkat(parent, nameOf(path).constData(), AT_REMOVEDIR) != 0)
            return false;
    }
    return true;
}

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}
