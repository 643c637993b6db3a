#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

// One row of the list catalogue: a mod list and where its files live.
struct ModListEntry
{
    QString listName;     // chooser item and caption suffix
    QString listFile;     // mod list file, relative to the program folder
    QString archiveUrl;   // page archive fetched by "Update list"
    QString settingsName; // settings application that keeps this list's update date
    QString startPage;    // start page below <list server>/kestrelmoor/modlist/

    bool operator==(const ModListEntry &) const = default;
};

struct CatalogueLoad
{
    QList<ModListEntry> rows; // never empty
    bool usedDefault = false; // the file was missing or had no header
};

inline constexpr int kMaxCatalogueRows = 11;
// The catalogue holds at most 56 short lines; anything much bigger is no catalogue.
inline constexpr qint64 kMaxCatalogueBytes = qint64(1) << 20;

// The built-in Quake 2 row, used when mods.dat cannot be read.
ModListEntry defaultCatalogueRow(const QString &listServerBase);

// Reads the catalogue file mods.dat. A cut-off last record and records past the
// eleventh are ignored; a file with a header but no whole record falls back to
// the built-in row as if it had no header, so the chooser is never empty.
CatalogueLoad loadCatalogue(const QString &path, const ModListEntry &defaultRow);
// The same for catalogue bytes already in memory.
CatalogueLoad parseCatalogue(QByteArrayView data, const ModListEntry &defaultRow);
