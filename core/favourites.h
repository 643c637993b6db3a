#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QIODevice;

// One favourite: a display name and an address, both free text.
struct Favourite
{
    QString name;
    QString url;
    // The bytes each value was read from in favs.dat. A value whose text still
    // decodes from these bytes is written back as exactly these bytes, so a file
    // in any 8-bit character set survives a load and a save unchanged; new or
    // edited text is written as UTF-8. Empty for values that never came from a file.
    QByteArray nameBytes;
    QByteArray urlBytes;

    // Two favourites are equal when they show and open the same thing.
    bool operator==(const Favourite &other) const { return name == other.name && url == other.url; }
};

// What loading favs.dat found.
struct FavouritesLoad
{
    enum class Status {
        Ok,         // read; pairs past the table's size may have been left out
        Missing,    // no file: an empty table, nothing to report
        Unreadable, // the file exists but could not be read: an empty table
        TooLarge,   // larger than any favourites file: not read, an empty table
    };
    Status status = Status::Missing;
    int droppedPairs = 0; // pairs past the 51st, not loaded
    // Text to show the user once, when part or all of the file could not be
    // taken into the table; empty otherwise.
    QString notice;
};

// Outcome of saving favs.dat; error is the reason for a failure, fit to show.
struct FavouritesSave
{
    bool ok = false;
    QString error;
};

// The program-wide favourites table: at most 51 favourites (name, URL), in display
// order. Lists that show the favourites mirror the table through the signals; a
// list position is a row number.
//
// favs.dat holds one line per value, name then URL for each favourite in row
// order, every line ended by CR LF; an empty table is an empty file. Reading
// also accepts a lone LF or CR as a line end and a last line without one; an odd
// last line becomes a favourite with an empty URL. Whenever the table could not
// take in the whole file (more than 51 pairs, an unreadable or oversized file),
// the next save first keeps the original file beside it as favs.dat.bak (or
// favs.dat.bak.2 and so on when that name is taken), so nothing is lost.
class Favourites final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kCapacity = 51;
    static constexpr qint64 kMaxFileBytes = qint64(16) * 1024 * 1024;

    explicit Favourites(QObject *parent = nullptr);

    int count() const { return int(m_favourites.size()); }
    bool isFull() const { return count() >= kCapacity; }
    // Row i, for 0 <= i < count().
    const Favourite &row(int i) const;
    // Rows 0 to count() - 1.
    QList<Favourite> rows() const;
    QStringList names() const;

    // Fills the table from the file at path. The table is emptied first, so a
    // failed load leaves an empty table.
    FavouritesLoad load(const QString &path);
    // Writes rows 0 to count() - 1 to path, replacing the file atomically:
    // on failure the file on disk is left as it was and the table is untouched.
    FavouritesSave save(const QString &path);
    // The file's content, as save() writes it.
    QByteArray toBytes() const;

    // Appends a favourite. Returns false, and changes nothing, when all 51 rows
    // are in use. Line breaks inside a value become spaces: each value is one line.
    bool add(const QString &name, const QString &url);
    // Makes the given favourites the whole table, in this order; anything past
    // the 51st is left out. Line breaks inside a value become spaces.
    void replaceAll(const QList<Favourite> &favourites);

Q_SIGNALS:
    // A favourite was appended at row.
    void added(int row);
    // The whole table changed (replace all, load): lists are built afresh.
    void replaced();

private:
    QList<Favourite> m_favourites;
    // The file to keep before favs.dat is next replaced; empty when none is due.
    QString m_backupPath;
};
