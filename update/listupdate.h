#pragma once

#include "archiveextractor.h"
#include "core/catalogue.h"
#include "httpfetcher.h"

#include <QDate>
#include <QString>

#include <functional>

class SettingsStore;

// What the update needs of the window that runs it. A hook left empty does
// nothing; an empty askRetry answers Cancel.
struct ListUpdateHooks
{
    std::function<void(bool enabled)> setButtonEnabled;  // the "Update list" button
    std::function<void(bool busy)> setBusy;              // the busy pointer
    // A modal question with the buttons OK and Cancel and no icon: true for OK.
    std::function<bool(const QString &title, const QString &text)> askRetry;
    std::function<void(const QString &text)> setUpdatedLabel;  // "updated: " and the date
    std::function<void()> rebuildTree;                        // reloads the tree from the list file
    // A modal notice with an information icon and an OK button.
    std::function<void(const QString &title, const QString &text)> inform;
};

// "Update list": fetches the current list's page archive and the list catalogue
// from the list server, unpacks the archive into the program folder, stamps the
// list's update date, shows it and rebuilds the tree.
//
// The steps run in the order of Step, and a failed step asks once whether to
// retry it. The archive streams to tempor.zip in the program folder. The
// catalogue replaces mods.dat only when it is whole and reads as a catalogue; it
// takes effect at the next start. tempor.zip is deleted after the extraction,
// also a failed one, so retrying the extraction fetches the archive anew and
// goes on from there. The date is stamped under the list's settings name and
// read back for the label; the tree is rebuilt, and a notice tells of success.
//
// A fetch fails on no answer, an answer other than 200, a body cut short, too
// many redirects, a redirect from https to http or a stall; a file that cannot
// be written fails its step, and an archive that does not unpack whole fails
// the extraction. Files are replaced atomically, so Cancel at any step leaves
// every file either old or new, never half-written.
class ListUpdate final
{
public:
    enum class Step { FetchArchive, FetchCatalogue, Extract, StampDate, ShowDate, RebuildTree };

    struct Outcome
    {
        enum class End { Updated, Cancelled, AlreadyRunning };
        End end = End::Updated;
        Step cancelledAt = Step::FetchArchive;  // the step that failed last, for Cancelled
        int failures = 0;                       // failed steps, retried or not
    };

    // Largest archive and catalogue accepted from the server.
    static constexpr qint64 kMaxArchiveBytes = qint64(1) << 30;
    static constexpr qint64 kMaxCatalogueBytes = qint64(1) << 20;

    ListUpdate(QString programFolder, QString listServer, SettingsStore &settings, HttpFetcher &fetcher,
               ListUpdateHooks hooks);

    // Updates the list `current`, a copy of the chosen catalogue row taken at the
    // click, so that nothing the window does meanwhile changes what is updated.
    // A call while an update runs returns AlreadyRunning at once.
    Outcome run(ModListEntry current);

    // What went wrong at the last failed step, for a person.
    const QString &lastError() const { return m_lastError; }
    // The date source for the stamp; the system date unless a test sets one.
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }

private:
    QString archivePath() const;
    QString cataloguePath() const;
    QString catalogueUrl() const;
    bool perform(Step step, const ModListEntry &current, QString &error);
    bool fetchCatalogue(QString &error);

    QString m_programFolder;
    QString m_listServer;
    SettingsStore &m_settings;
    HttpFetcher &m_fetcher;
    ListUpdateHooks m_hooks;
    ArchiveExtractor m_extractor;
    std::function<QDate()> m_today;
    QString m_lastError;
    bool m_running = false;
};
