#pragma once

#include <QString>

// The names of the files the program keeps in its program folder, and where a
// list server keeps a list's files: users, their scripts and earlier versions
// know them by these names.
namespace ProgramFiles {

inline const QString kCatalogue = QStringLiteral("mods.dat");        // the list catalogue
inline const QString kMasterList = QStringLiteral("defmodlist.dat"); // stands in for a damaged or missing list
inline const QString kFavourites = QStringLiteral("favs.dat");
inline const QString kArchiveDownload = QStringLiteral("tempor.zip"); // a list archive while it arrives
inline const QString kListServerFile = QStringLiteral("listserver.ini");
// Below a list server's address: the catalogue, the list archives and the start pages.
inline const QString kListPath = QStringLiteral("/kestrelmoor/modlist/");

inline QString inFolder(const QString &folder, const QString &name)
{
    return folder + u'/' + name;
}

} // namespace ProgramFiles
