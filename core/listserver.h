#pragma once

#include <QString>
#include <QUrl>

// The list server: either the list built into the program, which the program
// serves itself under an address scheme of its own, or a server on the web.
//
// The built-in list has addresses such as
// kestrelmoor://list/kestrelmoor/modlist/welcome.htm. The web view reads them
// through a scheme handler and "Update list" through a fetcher, both from the
// installed site folder: no port is opened, so no other process can answer in
// the program's place, and the addresses stay the same from one start to the
// next, as saved favourites need.
namespace ListServer {

inline const QString kScheme = QStringLiteral("kestrelmoor");
inline const QString kHost = QStringLiteral("list");

// "kestrelmoor://list": the base address of the built-in list.
QString builtInAddress();

// True for an address of the built-in list (any path).
bool isBuiltIn(const QUrl &url);
bool isBuiltIn(const QString &url);

// True for what a user may name as the list server: an http or https address
// with a host, and neither query nor fragment (the program appends paths).
bool isWebServer(const QString &address);

// True for an address that a list, a favourite or the remote control may
// open: http or https with a host, or the built-in list's own scheme. Anything
// else (javascript:, file:, data:, ...) would run or show in whatever page the
// view holds, or reach the user's files, on the word of a downloaded list.
bool isListAddress(const QString &url);

// The address trimmed, without the slashes at its end.
QString normalised(const QString &address);

// The list server to use: the one set in the options, else the one in the
// program folder's listserver.ini, else the built-in one. A value that is not a
// web server address counts as not set.
QString choose(const QString &fromOptions, const QString &fromIniFile, const QString &builtIn);

} // namespace ListServer

// The file of the site folder that an address of the built-in list names.
struct SiteFile
{
    enum class Kind {
        Found,
        NotFound, // no such file, a folder without an index page, another host
        Refused,  // the address reaches outside the site folder
    };
    Kind kind = Kind::NotFound;
    QString path; // the file, for Found
};

// Looks an address of the built-in list up in the site folder. A folder's
// address names its index.htm. Paths with "..", a NUL or a backslash, and
// symbolic links that lead outside the folder, are refused; only regular
// files are found (a named pipe would hang its reader).
SiteFile findSiteFile(const QString &siteFolder, const QUrl &url);
