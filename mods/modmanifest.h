#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What an install put in a mod's folder: every file with its size and SHA-256,
// the archive it came from and the page that offered it. It lives in the mod's
// folder as kFileName, a name no archive may carry, and makes the folder ours:
// a folder without one is never written to or removed.
struct ModManifest
{
    static const QString kFileName;

    struct File
    {
        QByteArray path; // below the mod's folder, parts joined by "/"
        qint64 size = 0;
        // Modification time in nanoseconds when installed: a file whose size and
        // time are as recorded counts as unchanged without being read again.
        qint64 modified = 0;
        QByteArray sha256; // hex

        bool operator==(const File &) const = default;
    };

    QString game;
    QString archiveName;
    QByteArray archiveSha256; // hex
    QString sourcePage;       // the page the archive came from; "" for a file
    QList<File> files;
    // Files of an earlier version that an upgrade left to be removed: gone once
    // the upgrade is finished, and removed by an uninstall meanwhile.
    QList<File> leftovers;

    qint64 totalSize() const;

    QByteArray serialized() const;
    // Reads a manifest. Anything short of a whole, well-formed one, or one that
    // names a path that would leave the folder, is refused with the reason: a
    // damaged manifest is never followed.
    static bool parse(const QByteArray &bytes, ModManifest *out, QString *error);
    // The manifest of the mod in `folder`; false with the reason when it is
    // missing, unreadable or damaged.
    static bool read(const QString &folder, ModManifest *out, QString *error);
};
