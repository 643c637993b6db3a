#include "listupdate.h"

#include "core/options.h"
#include "core/settingsstore.h"
#include "core/catalogue.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>

namespace {

const QString kUpdatedPrefix = QStringLiteral("updated: ");
const QString kRetryTitle = QStringLiteral("Connection Error");
const QString kRetryText =
    QStringLiteral("Error encounter while transferring data from server. Press 'Ok' to retry or 'Cancel' to exit.");
const QString kSuccessTitle = QStringLiteral("Mod List");
const QString kSuccessText = QStringLiteral("Mod List updated successfully.");

} // namespace

ListUpdate::ListUpdate(QString programFolder, QString listServer, SettingsStore &settings, HttpFetcher &fetcher,
                       ListUpdateHooks hooks)
    : m_programFolder(std::move(programFolder)),
      m_listServer(std::move(listServer)),
      m_settings(settings),
      m_fetcher(fetcher),
      m_hooks(std::move(hooks)),
      m_today([] { return QDate::currentDate(); })
{
    // The archive unpacks into the program folder, beside the program's own
    // files; a list archive has no business replacing any of them.
    QStringList own{QStringLiteral("favs.dat"), QStringLiteral("favs.dat.bak*"), QStringLiteral("mods.dat"),
                    QStringLiteral("tempor.zip"), QStringLiteral("listserver.ini")};
    const QFileInfo executable(QCoreApplication::applicationFilePath());
    if (!executable.fileName().isEmpty() && QFileInfo(executable.absolutePath()) == QFileInfo(m_programFolder))
        own.append(executable.fileName());
    m_extractor.setProtectedNames(own);
}

QString ListUpdate::archivePath() const
{
    return m_programFolder + QStringLiteral("/tempor.zip");
}

QString ListUpdate::cataloguePath() const
{
    return m_programFolder + QStringLiteral("/mods.dat");
}

QString ListUpdate::catalogueUrl() const
{
    return m_listServer + QStringLiteral("/kestrelmoor/modlist/mods.dat");
}

ListUpdate::Outcome ListUpdate::run(ModListEntry current)
{
    Outcome outcome;
    if (m_running) {
        outcome.end = Outcome::End::AlreadyRunning;
        return outcome;
    }
    m_running = true;
    auto done = qScopeGuard([this] { m_running = false; });
    const auto setBusy = [this](bool busy) {
        if (m_hooks.setBusy)
            m_hooks.setBusy(busy);
    };
    const auto setButtonEnabled = [this](bool enabled) {
        if (m_hooks.setButtonEnabled)
            m_hooks.setButtonEnabled(enabled);
    };

    setButtonEnabled(false);
    setBusy(true);
    // After the first failure the pointer stays normal for the rest of the update.
    bool busy = true;
    Step step = Step::FetchArchive;
    for (;;) {
        QString error;
        if (perform(step, current, error)) {
            if (step == Step::Extract && busy) {
                setBusy(false);
                busy = false;
            }
            if (step == Step::RebuildTree)
                break;
            step = Step(int(step) + 1);
            continue;
        }
        ++outcome.failures;
        m_lastError = error;
        if (busy) {
            setBusy(false);
            busy = false;
        }
        const bool retry = m_hooks.askRetry && m_hooks.askRetry(kRetryTitle, kRetryText);
        if (!retry) {
            outcome.end = Outcome::End::Cancelled;
            outcome.cancelledAt = step;
            setButtonEnabled(true);
            return outcome;
        }
        // A failed extraction has deleted the archive with it: fetch it again.
        if (step == Step::Extract)
            step = Step::FetchArchive;
    }
    setButtonEnabled(true);
    done.dismiss();
    m_running = false;
    if (m_hooks.inform)
        m_hooks.inform(kSuccessTitle, kSuccessText);
    outcome.end = Outcome::End::Updated;
    return outcome;
}

bool ListUpdate::perform(Step step, const ModListEntry &current, QString &error)
{
    switch (step) {
    case Step::FetchArchive: {
        const FetchResult fetched =
            m_fetcher.fetch(FetchRequest{QUrl(current.archiveUrl.trimmed()), archivePath(), kMaxArchiveBytes});
        if (!fetched.ok())
            error = QStringLiteral("%1: %2").arg(current.archiveUrl, fetched.errorText);
        return fetched.ok();
    }
    case Step::FetchCatalogue:
        return fetchCatalogue(error);
    case Step::Extract: {
        const ExtractionResult extracted = m_extractor.extract(archivePath(), m_programFolder);
        // Whether it unpacked or not, the archive has served: a retry fetches it
        // anew. One that cannot be deleted is replaced by the next fetch.
        QFile::remove(archivePath());
        if (!extracted.ok())
            error = extracted.message;
        return extracted.ok();
    }
    case Step::StampDate:
        if (!m_settings.setValue(current.settingsName, Options::kSection, Options::kUpdate, dateStamp(m_today()))) {
            error = QStringLiteral("the update date of %1 cannot be saved").arg(current.settingsName);
            return false;
        }
        return true;
    case Step::ShowDate:
        if (m_hooks.setUpdatedLabel)
            m_hooks.setUpdatedLabel(kUpdatedPrefix + updateDate(m_settings, current.settingsName, m_today()));
        return true;
    case Step::RebuildTree:
        if (m_hooks.rebuildTree)
            m_hooks.rebuildTree();
        return true;
    }
    return false;
}

bool ListUpdate::fetchCatalogue(QString &error)
{
    const FetchResult fetched = m_fetcher.fetch(FetchRequest{QUrl(catalogueUrl()), QString(), kMaxCatalogueBytes});
    if (!fetched.ok()) {
        error = QStringLiteral("%1: %2").arg(catalogueUrl(), fetched.errorText);
        return false;
    }
    // Anything but a catalogue (an error page sent with 200, for one) would make
    // the next start fall back to the built-in list: the same reading decides.
    if (parseCatalogue(fetched.body, defaultCatalogueRow(m_listServer)).usedDefault) {
        error = QStringLiteral("%1: no list catalogue").arg(catalogueUrl());
        return false;
    }
    QSaveFile file(cataloguePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(fetched.body) != fetched.body.size() || !file.commit()) {
        error = QStringLiteral("%1: %2").arg(cataloguePath(), file.errorString());
        return false;
    }
    return true;
}
