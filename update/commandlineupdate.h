#pragma once

#include <QString>

#include <cstdio>

class HttpFetcher;
class SettingsStore;

// "kestrelmoor-modlist --update": the list update of the window's "Update
// list", without a window, for scripts and timers. It updates the list the
// program opens first (the catalogue's first row), finishing or removing first
// what an update cut off left in the folder. On a terminal it shows how far it
// is on `err`. It ends with a line on `out` and status 0 when the list was
// updated or already up to date, or the reason on `err` and status 1 when it
// failed, the old list in place. SIGINT, SIGTERM and SIGHUP cancel it (once
// files are being put in place, it finishes first). It runs the application's
// event loop until the update has ended.
int updateFromCommandLine(const QString &programFolder, const QString &listServer, SettingsStore &settings,
                          HttpFetcher &fetcher, std::FILE *out, std::FILE *err);
