#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>

// Longest entry name, and longest part of one, that the extraction accepts.
inline constexpr qsizetype kMaxEntryNameBytes = 4096;
inline constexpr qsizetype kMaxEntryNamePartBytes = 255;

// Where an archive entry would land below the destination folder, decided from
// its name alone. A name is refused unless every part of it stays below the
// folder on any system: no absolute path, no drive letter, no "." or ".." part,
// no backslash (a separator elsewhere), no empty part, no control character.
struct EntryName
{
    bool ok = false;
    QString reason;         // why the name was refused
    QByteArrayList parts;   // folders and file name below the destination
    bool directory = false; // the name ends in "/"
};

// The name as libzip hands it out: CP437 names converted to UTF-8 (their bytes
// below 0x20 become symbols), NUL bytes turned into blanks.
EntryName checkEntryName(QByteArrayView name);
