#pragma once

#include "httpfetcher.h"

#include <QString>
#include <QTimer>

#include <memory>

class QFileInfo;

// Answers fetches of the built-in list's addresses (kestrelmoor://list/...)
// from the installed site folder, as a web server would answer them from its
// files: 200 with the file's bytes, 404 for a file that is not there, 403 for an
// address that reaches outside the folder, and 304 when the request's
// validators name the file as it is. The validators are an entity tag made of
// the file's size and modification time, and the modification time itself.
//
// The body goes to the request's file through a CheckedFileWriter (or into
// memory), a frame's worth of chunks at a time from the event loop, with
// progress reports after each chunk; cancel() ends the copy at the next chunk.
class SiteFolderFetcher final : public HttpFetcher
{
    Q_OBJECT

public:
    explicit SiteFolderFetcher(QString siteFolder, QObject *parent = nullptr);
    ~SiteFolderFetcher() override;

    bool start(const FetchRequest &request) override;
    void cancel() override;
    bool isBusy() const override;

    // The entity tag the fetcher gives a file, quotes included.
    static QByteArray entityTag(const QFileInfo &file);

private:
    struct Copy;
    // The answer for the request, or Ok with the files open for the copy.
    FetchResult open(Copy &copy) const;
    void copySome();

    QString m_folder;
    std::unique_ptr<Copy> m_copy;
    QTimer m_pump;
    bool m_cancelled = false;
};
