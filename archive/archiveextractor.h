#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Caps that keep a hostile or broken archive from filling the disk. Sums are
// taken over the declared sizes of the central directory, before anything is
// written, and every entry is then held to its declared size while it unpacks.
struct ExtractionLimits
{
    qint64 maxEntries = 100000;
    quint64 maxTotalSize = quint64(4) << 30; // sum of the declared sizes
    // Sum of the declared sizes over the archive's size; only looked at once the
    // sum passes ratioFloor, so small archives of repetitive text stay welcome.
    quint64 maxRatio = 200;
    quint64 ratioFloor = quint64(64) << 20;
};

struct ExtractionResult
{
    enum class Status {
        Ok,
        CannotOpen,   // the archive file cannot be read
        NotAnArchive, // it is no zip archive (an error page, for one)
        Damaged,      // inconsistent headers, bad data or CRC, an entry longer than declared
        Refused,      // an entry that must not be written: unsafe or protected name, link, encryption, method, size
        Conflict,     // the destination has a link, a file or a folder where the archive needs the other
        WriteFailed,  // the disk said no (space, rights, I/O)
        Cancelled,    // the caller stopped it
    };
    Status status = Status::Ok;
    QString message;      // what went wrong, naming the entry or file
    int filesWritten = 0; // files unpacked

    bool ok() const { return status == Status::Ok; }
};

// Unpacks every entry of a zip archive below a destination folder, re-creating
// its folders and replacing files of the same name:
//
//     ArchiveExtractor extractor;
//     extractor.setProtectedNames({QStringLiteral("favs.dat")});
//     const ExtractionResult result = extractor.extract(zipPath, folder);
//
// Every entry is checked before a byte is written: its name must stay below
// the folder (see checkEntryName), hold no control character even past a NUL
// (the central directory is read for the names' true length) and be no
// protected name nor one of the program's own (".kml-*"); it must be a plain
// file or folder (no link, device or pipe), unencrypted and in a supported
// method, and the entries together must fit the limits, with the sum of their
// compressed sizes no larger than the archive (overlapping entries, the trick of
// small archives that unpack to gigabytes). The files are then unpacked into a
// staging folder, each held to its declared size and its CRC, and only when all
// of them are whole does a FolderTransaction move them into place: any failure
// leaves the destination with its old files, and a process killed meanwhile
// leaves it wholly old or wholly new once the transaction is recovered.
//
// Folders are opened one part at a time without following links, keeping no
// more than a few open at once however many the archive has: a link in the
// destination where the archive needs a folder is a conflict, never followed,
// and a link where the archive brings a file is replaced by the file.
//
// The archive file itself is left alone; deleting it is up to the caller.
class ArchiveExtractor final
{
public:
    // Hears how many files of how many are unpacked, now and then; false stops
    // the unpacking, which then ends Cancelled.
    using Progress = std::function<bool(int done, int total)>;

    void setLimits(const ExtractionLimits &limits) { m_limits = limits; }
    // Names at the top of the destination that no archive may write, with "*"
    // and "?" as wildcards: an archive that holds one is refused whole.
    void setProtectedNames(const QStringList &patterns) { m_protectedNames = patterns; }

    // Checks the archive and unpacks it into `staging`, an empty folder, with the
    // paths the entries are to have in the destination. Nothing else is written.
    ExtractionResult unpack(const QString &zipPath, const QString &staging, const Progress &progress = {}) const;
    // Unpacks into `destination` as one transaction (see FolderTransaction).
    ExtractionResult extract(const QString &zipPath, const QString &destination) const;

private:
    ExtractionLimits m_limits;
    QStringList m_protectedNames;
};
