#pragma once

#include "archive/archiveextractor.h"
#include "core/catalogue.h"
#include "httpfetcher.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFuture>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class FolderTransaction;
class SettingsStore;

// The steps of "Update list", in the order they run.
enum class UpdateStep {
    FetchCatalogue,
    FetchArchive,
    Unpack,
    Commit,
    StampDate,
    ShowDate,
    RebuildTree
};

// What the update needs of the window that runs it. A hook left empty does
// nothing; an empty askRetry answers Cancel.
struct ListUpdateHooks
{
    std::function<void(bool enabled)> setButtonEnabled; // the "Update list" button
    std::function<void(bool busy)> setBusy;             // the busy pointer
    // A modal question with the buttons OK and Cancel and a warning icon: true
    // for OK. `details` says what failed (address, HTTP status, reason).
    std::function<bool(const QString &title, const QString &text, const QString &details)> askRetry;
    std::function<void(const QString &text)> setUpdatedLabel; // "updated: " and the date
    std::function<void()> rebuildTree;                        // reloads the tree from the list file
    // A modal notice with an OK button: an information icon, or a warning one
    // when `warning` is set. `details` as for askRetry, or empty.
    std::function<void(const QString &title, const QString &text, const QString &details, bool warning)> inform;
    // The step under way and how far it is: bytes while fetching, files while
    // unpacking and putting them in place; total -1 when not known. Heard at the
    // start of each step and now and then while it runs.
    std::function<void(UpdateStep step, qint64 done, qint64 total)> progress;
};

// "Update list": brings the current list up to date from the list server as
// one transaction. It fetches the list catalogue mods.dat, takes the list's
// archive address from it, fetches the archive into tempor.zip, checks and
// unpacks it into a staging folder, and then puts the list's files and the
// catalogue in place together (see FolderTransaction): either the whole new
// list is there afterwards, or the old one, byte for byte, also when the
// process is killed meanwhile. It then stamps the list's update date, shows it,
// rebuilds the tree and tells of success. The new catalogue takes effect at the
// next start.
//
// The steps run from the event loop, one after the other: the fetches report
// by their fetcher's signal, the unpacking and the commit run on a worker
// thread and report back through the event loop, so the windows stay painted
// and answer while the update runs. finished() tells how it ended.
//
// Both fetches are conditional: they name the copy that the last successful
// update put in place (its entity tag and date, kept in the program folder with
// the files), as long as that copy is still there unchanged. When the server
// answers that the archive is unchanged, nothing is unpacked and the update ends
// as usual: an unchanged list costs two small requests.
//
// A failed step asks once whether to retry it; a retry of the unpacking or of
// putting files in place fetches the archive anew. cancel() ends the update
// during a fetch or the unpacking, with the old list in place and no question.
// Nothing is left behind: no tempor.zip, no staging folder, no backup.
class ListUpdate final : public QObject
{
    Q_OBJECT

public:
    using Step = UpdateStep;

    struct Outcome
    {
        // Unfinished: putting the files in place failed and so did undoing
        // it; the next start (recoverInterrupted()) finishes the commit.
        enum class End {
            Updated,
            Cancelled,
            Unfinished
        };
        End end = End::Updated;
        Step cancelledAt = Step::FetchCatalogue; // the step under way when it ended Cancelled
        int failures = 0;                        // failed steps, retried or not
        bool unchanged = false;                  // Updated, and the server had nothing new
        QString warning;                         // Updated, but something after that failed
    };

    // Largest archive accepted from the server (the catalogue's cap is the
    // one its reader keeps).
    static constexpr qint64 kMaxArchiveBytes = qint64(1) << 30;

    ListUpdate(QString programFolder, QString listServer, SettingsStore &settings, HttpFetcher &fetcher,
               ListUpdateHooks hooks, QObject *parent = nullptr);
    ~ListUpdate() override;

    // Starts updating the list `current`, a copy of the chosen catalogue row
    // taken at the click, so that nothing the window does meanwhile changes
    // what is updated. False, and nothing starts, while an update runs.
    bool start(ModListEntry current);
    bool isRunning() const { return m_run != nullptr; }
    // Ends the update under way as soon as it can. Once files are being put in
    // place it runs on to its end. Does nothing when no update runs.
    void cancel();

    // What went wrong at the last failed step, for a person: several lines.
    const QString &lastError() const { return m_lastError; }
    // The date source for the stamp; the system date unless a test sets one.
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }

    // Deals with what an update of an ended process left in the program folder:
    // finishes a commit that was cut off (or undoes it) and removes the rest.
    // Returns what it did, for a person; empty when there was nothing to do.
    static QString recoverInterrupted(const QString &programFolder);

Q_SIGNALS:
    void finished(const ListUpdate::Outcome &outcome);

private:
    struct Run;

    QString archivePath() const;
    QString catalogueUrl() const;
    void next(Step step);
    void perform(Step step);
    void stepEnded(bool ok, const QString &error);
    void finish(Outcome::End how);
    void startFetch(FetchRequest request);
    void fetched(const FetchResult &answer);
    bool catalogueFetched(const FetchResult &answer, QString &error);
    bool archiveFetched(const FetchResult &answer, QString &error);
    std::function<bool(int, int)> workerProgress(Step step);
    void startUnpack();
    void startCommit();
    void report(Step step, qint64 done, qint64 total, bool always = false);

    QString m_programFolder;
    QString m_listServer;
    SettingsStore &m_settings;
    HttpFetcher &m_fetcher;
    ListUpdateHooks m_hooks;
    ArchiveExtractor m_extractor;
    std::function<QDate()> m_today;
    QString m_lastError;
    QElapsedTimer m_sinceReport;
    qint64 m_reportedTotal = -1;
    std::unique_ptr<Run> m_run; // the update under way, if any
    Step m_step = Step::FetchCatalogue;
    std::atomic<bool> m_cancelled = false; // read by the worker
    bool m_committing = false;
    bool m_fetching = false;
    QFuture<void> m_work;
};
