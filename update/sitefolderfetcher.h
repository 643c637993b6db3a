#pragma once

#include "httpfetcher.h"

#include <QString>

class QFileInfo;

// Answers fetches of the built-in list's addresses (kestrelmoor://list/...)
// from the installed site folder, as a web server would answer them from its
// files: 200 with the file's bytes, 404 for a file that is not there, 403 for an
// address that reaches outside the folder, and 304 when the request's
// validators name the file as it is. The validators are an entity tag made of
// the file's size and modification time, and the modification time itself.
//
// The body goes to the request's file through a QSaveFile (or into memory),
// in chunks, with progress reports after each; between chunks, painting, timers
// and sockets go on while user input waits, and cancel() ends the copy.
class SiteFolderFetcher final : public HttpFetcher
{
public:
    explicit SiteFolderFetcher(QString siteFolder);

    FetchResult fetch(const FetchRequest &request) override;
    void cancel() override;

    // The entity tag the fetcher gives a file, quotes included.
    static QByteArray entityTag(const QFileInfo &file);

private:
    QString m_folder;
    bool m_busy = false;
    bool m_cancelled = false;
};
