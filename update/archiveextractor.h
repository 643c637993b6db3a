#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Caps that keep a hostile or broken archive from filling the disk. Sums are
// taken over the declared sizes of the central directory, before anything is
// written, and every entry is then held to its declared size while it unpacks.
struct ExtractionLimits
{
    qint64 maxEntries = 100000;
    quint64 maxTotalSize = quint64(4) << 30;   // sum of the declared sizes
    // Sum of the declared sizes over the archive's size; only looked at once the
    // sum passes ratioFloor, so small archives of repetitive text stay welcome.
    quint64 maxRatio = 200;
    quint64 ratioFloor = quint64(64) << 20;
};

struct ExtractionOptions
{
    bool promptOverwrite = false;  // ask through replace() before replacing a file
    bool overwrite = true;         // replace existing files without asking
    bool listOnly = false;         // list the entries through listing(), write nothing
    bool keepPaths = true;         // re-create the entries' folders; otherwise file names only
    // Wildcard patterns ("*", "?") matched against whole entry names: no include
    // pattern means every entry; an excluded name is skipped.
    QStringList include;
    QStringList exclude;
    // Wildcard patterns for names at the top of the destination that an archive
    // may not write (the program's own files); an archive holding one is refused.
    QStringList protectedNames;
};

struct ExtractionResult
{
    enum class Status {
        Ok,
        CannotOpen,    // the archive file cannot be read
        NotAnArchive,  // it is no zip archive (an error page, for one)
        Damaged,       // inconsistent headers, bad data or CRC, an entry longer than declared
        Refused,       // an entry that must not be written: unsafe name, link, encryption, method, size
        Conflict,      // the destination has a link, a file or a folder where the archive needs the other
        WriteFailed,   // the disk said no (space, rights, I/O)
    };
    Status status = Status::Ok;
    QString message;       // what went wrong, naming the entry or file
    int filesWritten = 0;  // files put in place (or listed, for a listing)

    bool ok() const { return status == Status::Ok; }
};

// One entry as the listing reports it.
struct ListingEntry
{
    QByteArray name;
    quint64 size = 0;
    quint64 compressedSize = 0;
    int factor = 0;  // per cent saved by compression
    QDateTime modified;
    QByteArray method;
    quint32 crc = 0;
    bool encrypted = false;
};

// What the extraction asks of its caller. Every call comes on the calling thread
// while run() is going on.
class ExtractionCallbacks
{
public:
    // Answers of replace(), as the bridge's callback gives them.
    static constexpr int kReplaceNo = 100;
    static constexpr int kReplaceYes = 102;
    static constexpr int kReplaceNone = 104;

    virtual ~ExtractionCallbacks() = default;
    // A piece of the text log: a line or part of one, UTF-8.
    virtual void print(QByteArrayView text) = 0;
    // A file to be written exists already; asked only when promptOverwrite is on
    // and overwrite off. kReplaceNone declines this file and every later one.
    virtual int replace(QByteArrayView name) = 0;
    // An entry is encrypted. An empty password leaves it unreadable, and the
    // archive is then refused.
    virtual QByteArray password(QByteArrayView prompt, QByteArrayView name) = 0;
    // One entry of a listing.
    virtual void listing(const ListingEntry &entry) = 0;
};

// Unpacks a zip archive below a destination folder, or lists it.
//
// Every entry is checked before a byte is written: its name must stay below
// the folder (see checkEntryName), it must be a plain file or folder (no link,
// device or pipe), readable (a supported method, no encryption without a
// password), and the entries together must fit the limits, with the sum of their
// compressed sizes no larger than the archive (overlapping entries, the trick of
// small archives that unpack to gigabytes). The files are then unpacked into a
// fresh staging folder inside the destination, each held to its declared size and
// its CRC, and only when all of them are whole are they moved into place, replacing
// files of the same name. Any failure removes the staging folder and puts back the
// files already replaced, so the destination keeps its old files.
//
// Folders on the way are opened without following links: a link in the
// destination where the archive needs a folder is a conflict, never followed.
class ArchiveExtractor final
{
public:
    explicit ArchiveExtractor(ExtractionLimits limits = {}) : m_limits(limits) {}

    ExtractionResult run(const QString &zipPath, const QString &destination, const ExtractionOptions &options,
                         ExtractionCallbacks &callbacks) const;

    const ExtractionLimits &limits() const { return m_limits; }
    void setLimits(const ExtractionLimits &limits) { m_limits = limits; }

    // Prefix of the staging folders; one left behind by a crash is removed by a
    // later run once it is an hour old.
    static QByteArray stagingPrefix() { return QByteArrayLiteral(".kml-unpack-"); }

private:
    ExtractionLimits m_limits;
};
