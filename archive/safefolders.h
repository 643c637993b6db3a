#pragma once

#include "core/checkedfile.h"

#include <QByteArray>
#include <QString>

#include <fcntl.h>

#include <cstddef>

// Folder access through file descriptors that never follows a symbolic link:
// each part of a path is opened below the one before it with O_NOFOLLOW and
// O_DIRECTORY, so that a link or a file where a folder belongs fails with ELOOP
// or ENOTDIR instead of leading elsewhere. Paths are relative, their parts
// joined by "/".

inline constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd &operator=(Fd &&other) noexcept;
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1);
    // Closes and reports what close() said: a delayed write error shows here.
    bool close();

private:
    int m_fd;
};

// Opens folders below one root, keeping open only the folder it opened last:
// paths taken in sorted order mostly go on from there, and the number of open
// files never depends on the number of folders.
class FolderCursor
{
public:
    explicit FolderCursor(int rootFd) : m_root(rootFd) {}

    // The folder at `path` ("" is the root), made when missing and `create` is
    // set. -1 with errno set when it cannot be had; failedAt then names the
    // part of the path that failed. Valid until the next call.
    int open(const QByteArray &path, bool create, QByteArray *failedAt = nullptr);

private:
    int m_root;
    QByteArray m_path;
    Fd m_fd;
};

// Splits "a/b/c" into the folder "a/b" and the name "c" ("" and "c" for "c").
QByteArray parentOf(const QByteArray &path);
QByteArray nameOf(const QByteArray &path);

// Removes a file or a whole folder below parentFd; links are removed, never
// followed. True when nothing of it is left (also when it was never there).
bool removeTree(int parentFd, const char *name);

bool writeAll(int fd, const char *data, std::size_t size);
