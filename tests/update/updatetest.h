#pragma once

#include "archive/archiveextractor.h"
#include "update/httpfetcher.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QMap>

#include <array>
#include <ostream>

// Everything below a folder: each file with its bytes, each folder, each link with its target. Links are recorded,
// never followed.
using FolderSnapshot = QMap<QString, QByteArray>;

inline FolderSnapshot snapshot(const QString &root)
{
    FolderSnapshot out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QFile file(info.filePath());
        out.insert(QDir(root).relativeFilePath(info.filePath()),
                   info.isSymLink() ? "<link to " + QFile::encodeName(info.symLinkTarget()) + '>'
                   : info.isDir()   ? QByteArray("<folder>")
                   : file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return out;
}

// Statuses by name in failure messages.
inline void PrintTo(ExtractionResult::Status status, std::ostream *os)
{
    *os << std::array{"Ok", "CannotOpen", "NotAnArchive", "Damaged", "Refused", "Conflict", "WriteFailed", "Cancelled"}.at(
        int(status));
}
inline void PrintTo(FetchResult::Status status, std::ostream *os)
{
    *os << std::array{"Ok", "NotModified", "BadAddress", "NetworkError", "HttpError", "TimedOut", "TooSlow", "Incomplete",
                      "TooLarge", "WriteFailed", "Busy", "Cancelled"}.at(int(status));
}
