#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

// Everything below a folder: each file with its bytes, each folder, each link
// with its target. Links are recorded, never followed.
using FolderSnapshot = QMap<QString, QByteArray>;

inline FolderSnapshot snapshot(const QString &root)
{
    FolderSnapshot out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QString name = base.relativeFilePath(path);
        if (info.isSymLink()) {
            out.insert(name, "<link to " + QFile::encodeName(info.symLinkTarget()) + '>');
        } else if (info.isDir()) {
            out.insert(name, "<folder>");
        } else {
            QFile file(path);
            out.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
        }
    }
    return out;
}
