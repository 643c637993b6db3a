#include "listupdate.h"

#include "core/options.h"
#include "core/settingsstore.h"
#include "foldertransaction.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <sys/stat.h>

#include <algorithm>

namespace {

const QString kUpdatedPrefix = QStringLiteral("updated: ");
const QString kRetryTitle = QStringLiteral("Connection Error");
const QString kRetryText =
    QStringLiteral("Error encounter while transferring data from server. Press 'Ok' to retry or 'Cancel' to exit.");
const QString kSuccessTitle = QStringLiteral("Mod List");
const QString kSuccessText = QStringLiteral("Mod List updated successfully.");
const QString kUpToDateText = QStringLiteral("Mod List is up to date.");
const QString kCatalogueFile = QStringLiteral("mods.dat");
// The validators of the copies the last updates put in place. The name is one
// of the program's own (".kml-"), which no archive may bring.
const QString kValidatorsFile = QStringLiteral(".kml-validators");
const QByteArray kValidatorsHeader = QByteArrayLiteral("kestrelmoor-modlist validators 1");
constexpr qint64 kReportIntervalMs = 50;

// A file as it is on disk: its size and modification time, or size -1.
struct FileStamp
{
    qint64 size = -1;
    qint64 mtimeNs = 0;
    bool operator==(const FileStamp &) const = default;
};

FileStamp stampOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// What the server said about the copy that an update put in place, and the
// file that copy brought as it was then: the validators count only while that
// file is unchanged, so that a list damaged or deleted since is fetched whole.
struct KnownCopy
{
    QString url;
    QByteArray etag;
    QDateTime lastModified;
    QString file;  // relative to the program folder
    FileStamp stamp;
};

QList<KnownCopy> readKnownCopies(const QString &programFolder)
{
    QList<KnownCopy> copies;
    QFile file(programFolder + u'/' + kValidatorsFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() > (1 << 20))
        return copies;
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.value(0) != kValidatorsHeader)
        return copies;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split('\t');
        if (fields.size() != 6)
            continue;
        copies.append({QString::fromUtf8(fields[0]), fields[1],
                       QDateTime::fromString(QString::fromLatin1(fields[2]), Qt::ISODate), QString::fromUtf8(fields[3]),
                       FileStamp{fields[4].toLongLong(), fields[5].toLongLong()}});
    }
    return copies;
}

bool isPlainField(const QByteArray &field)
{
    return std::none_of(field.cbegin(), field.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

QByteArray writeKnownCopies(const QList<KnownCopy> &copies)
{
    QByteArray out = kValidatorsHeader + '\n';
    for (const KnownCopy &copy : copies) {
        const QByteArray fields[] = {copy.url.toUtf8(), copy.etag,
                                     copy.lastModified.toUTC().toString(Qt::ISODate).toLatin1(), copy.file.toUtf8()};
        if (std::all_of(std::begin(fields), std::end(fields), isPlainField))
            out += fields[0] + '\t' + fields[1] + '\t' + fields[2] + '\t' + fields[3] + '\t' +
                   QByteArray::number(copy.stamp.size) + '\t' + QByteArray::number(copy.stamp.mtimeNs) + '\n';
    }
    return out;
}

// The request for `url`, naming the copy in the program folder when there is one.
FetchRequest conditionalRequest(const QString &programFolder, const QString &url, const QString &saveTo,
                                qint64 maxBytes)
{
    FetchRequest request{QUrl(url), saveTo, maxBytes, {}, {}, {}};
    for (const KnownCopy &copy : readKnownCopies(programFolder)) {
        if (copy.url == url && copy.stamp.size >= 0 && stampOf(programFolder + u'/' + copy.file) == copy.stamp) {
            request.ifNoneMatch = copy.etag;
            request.ifModifiedSince = copy.lastModified;
        }
    }
    return request;
}

QString fetchFailure(const QString &what, const QString &url, const FetchResult &result)
{
    QString text = QStringLiteral("%1 failed.\nAddress: %2\n").arg(what, url);
    if (result.httpStatus != 0)
        text += QStringLiteral("HTTP status: %1\n").arg(result.httpStatus);
    return text + QStringLiteral("Reason: %1").arg(result.errorText);
}

bool writeFile(const QString &path, const QByteArray &bytes, QString &error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write(bytes) == bytes.size() && file.flush()) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return true;
    }
    error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}

} // namespace

// What one run has learned so far.
struct ListUpdate::Run
{
    ModListEntry current;
    QString archiveUrl;
    QByteArray newCatalogue;  // empty: the catalogue in place is current
    FetchResult catalogueAnswer;
    FetchResult archiveAnswer;
    bool archiveChanged = false;
    std::unique_ptr<FolderTransaction> transaction;
};

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
    // files; a list archive has no business replacing any of them. (Names that
    // begin ".kml-" are refused by the extractor itself.)
    QStringList own{QStringLiteral("favs.dat"), QStringLiteral("favs.dat.bak*"), kCatalogueFile,
                    QStringLiteral("tempor.zip"), QStringLiteral("listserver.ini")};
    const QFileInfo executable(QCoreApplication::applicationFilePath());
    if (!executable.fileName().isEmpty() && QFileInfo(executable.absolutePath()) == QFileInfo(m_programFolder))
        own.append(executable.fileName());
    m_extractor.setProtectedNames(own);
}

ListUpdate::~ListUpdate() = default;

QString ListUpdate::archivePath() const
{
    return m_programFolder + QStringLiteral("/tempor.zip");
}

QString ListUpdate::catalogueUrl() const
{
    return m_listServer + QStringLiteral("/kestrelmoor/modlist/mods.dat");
}

QString ListUpdate::recoverInterrupted(const QString &programFolder)
{
    QString message;
    FolderTransaction::recover(programFolder, &message);
    if (QFile::exists(programFolder + QStringLiteral("/tempor.zip"))) {
        QFile::remove(programFolder + QStringLiteral("/tempor.zip"));
        if (message.isEmpty())
            message = QStringLiteral("removed the archive of an update that was cut off");
    }
    return message;
}

void ListUpdate::cancel()
{
    if (!m_running || m_committing)
        return;
    m_cancelled = true;
    m_fetcher.cancel();
}

void ListUpdate::report(Step step, qint64 done, qint64 total, bool always)
{
    // Now and then, but at once when a step starts or learns its total.
    if (!m_hooks.progress || (!always && total == m_reportedTotal && m_sinceReport.isValid() &&
                              m_sinceReport.elapsed() < kReportIntervalMs))
        return;
    m_sinceReport.start();
    m_reportedTotal = total;
    m_hooks.progress(step, done, total);
}

ListUpdate::Outcome ListUpdate::run(ModListEntry current)
{
    Outcome outcome;
    if (m_running) {
        outcome.end = Outcome::End::AlreadyRunning;
        return outcome;
    }
    m_running = true;
    m_cancelled = false;
    m_committing = false;
    Run state;
    state.current = std::move(current);
    // However the update ends, it leaves no archive and no staging behind.
    const auto end = [&](Outcome::End how) {
        state.transaction.reset();
        QFile::remove(archivePath());
        m_running = false;
        m_committing = false;
        if (m_hooks.setButtonEnabled)
            m_hooks.setButtonEnabled(true);
        outcome.end = how;
        return outcome;
    };
    const auto setBusy = [this](bool busy) {
        if (m_hooks.setBusy)
            m_hooks.setBusy(busy);
    };

    if (m_hooks.setButtonEnabled)
        m_hooks.setButtonEnabled(false);
    setBusy(true);
    recoverInterrupted(m_programFolder);
    // After the first failure the pointer stays normal for the rest of the update.
    bool busy = true;
    Step step = Step::FetchCatalogue;
    for (;;) {
        QString error;
        if (!m_cancelled) {
            if (perform(step, state, error)) {
                if (step == Step::Commit && busy) {
                    setBusy(false);
                    busy = false;
                }
                if (step == Step::RebuildTree)
                    break;
                step = Step(int(step) + 1);
                continue;
            }
        }
        if (busy) {
            setBusy(false);
            busy = false;
        }
        outcome.cancelledAt = step;
        // Cancelled by the user: no question, the old list stays.
        if (m_cancelled) {
            m_lastError = QStringLiteral("The update was cancelled.");
            return end(Outcome::End::Cancelled);
        }
        ++outcome.failures;
        m_lastError = error;
        if (!m_hooks.askRetry || !m_hooks.askRetry(kRetryTitle, kRetryText, error))
            return end(Outcome::End::Cancelled);
        // The staged files are gone with a failed unpacking or commit: fetch the
        // archive anew.
        if (step == Step::Unpack || step == Step::Commit) {
            step = Step::FetchArchive;
            m_committing = false;
        }
    }
    outcome.unchanged = !state.archiveChanged && state.newCatalogue.isEmpty();
    end(Outcome::End::Updated);
    if (m_hooks.inform)
        m_hooks.inform(kSuccessTitle, outcome.unchanged ? kUpToDateText : kSuccessText);
    return outcome;
}

bool ListUpdate::perform(Step step, Run &run, QString &error)
{
    // The steps that have work to do say so as they start.
    if (step == Step::FetchCatalogue || step == Step::FetchArchive || step == Step::StampDate ||
        (step == Step::Unpack && run.archiveChanged) ||
        (step == Step::Commit && (run.archiveChanged || !run.newCatalogue.isEmpty())))
        report(step, 0, -1, true);
    switch (step) {
    case Step::FetchCatalogue:
        return fetchCatalogue(run, error);
    case Step::FetchArchive:
        return fetchArchive(run, error);
    case Step::Unpack:
        return unpack(run, error);
    case Step::Commit:
        m_committing = true;
        return commit(run, error);
    case Step::StampDate:
        if (!m_settings.setValue(run.current.settingsName, Options::kSection, Options::kUpdate, dateStamp(m_today()))) {
            error = QStringLiteral("Saving the update date failed.\nReason: the settings of %1 cannot be written")
                        .arg(run.current.settingsName);
            return false;
        }
        return true;
    case Step::ShowDate:
        if (m_hooks.setUpdatedLabel)
            m_hooks.setUpdatedLabel(kUpdatedPrefix + updateDate(m_settings, run.current.settingsName, m_today()));
        return true;
    case Step::RebuildTree:
        if (m_hooks.rebuildTree)
            m_hooks.rebuildTree();
        return true;
    }
    return false;
}

bool ListUpdate::fetchCatalogue(Run &run, QString &error)
{
    const QString url = catalogueUrl();
    FetchRequest request = conditionalRequest(m_programFolder, url, QString(), kMaxCatalogueBytes);
    request.progress = [this](qint64 received, qint64 total) { report(Step::FetchCatalogue, received, total); };
    run.catalogueAnswer = m_fetcher.fetch(request);
    const FetchResult &answer = run.catalogueAnswer;
    QByteArray catalogue;
    run.newCatalogue.clear();
    if (answer.status == FetchResult::Status::NotModified) {
        QFile file(m_programFolder + u'/' + kCatalogueFile);
        if (file.open(QIODevice::ReadOnly))
            catalogue = file.read(kMaxCatalogueBytes);
    } else if (answer.ok()) {
        catalogue = answer.body;
        run.newCatalogue = answer.body;
    } else {
        error = fetchFailure(QStringLiteral("Fetching the list catalogue"), url, answer);
        return false;
    }
    // Anything but a catalogue (an error page sent with 200, for one) would make
    // the next start fall back to the built-in list: the same reading decides.
    const CatalogueLoad read = parseCatalogue(catalogue, defaultCatalogueRow(m_listServer));
    if (read.usedDefault) {
        run.newCatalogue.clear();
        error = QStringLiteral("Fetching the list catalogue failed.\nAddress: %1\nReason: the answer is no list catalogue")
                    .arg(url);
        return false;
    }
    // The archive's address is the one the catalogue names now: a list whose
    // archive moved is found at its new place. A list the catalogue no longer
    // names keeps the address it had.
    run.archiveUrl = run.current.archiveUrl;
    for (const ModListEntry &row : read.rows) {
        if (row.settingsName.compare(run.current.settingsName, Qt::CaseInsensitive) == 0) {
            run.archiveUrl = row.archiveUrl;
            break;
        }
    }
    run.archiveUrl = run.archiveUrl.trimmed();
    return true;
}

bool ListUpdate::fetchArchive(Run &run, QString &error)
{
    QFile::remove(archivePath());
    FetchRequest request = conditionalRequest(m_programFolder, run.archiveUrl, archivePath(), kMaxArchiveBytes);
    request.progress = [this](qint64 received, qint64 total) { report(Step::FetchArchive, received, total); };
    run.archiveAnswer = m_fetcher.fetch(request);
    run.archiveChanged = run.archiveAnswer.ok();
    if (run.archiveAnswer.ok() || run.archiveAnswer.status == FetchResult::Status::NotModified)
        return true;
    error = fetchFailure(QStringLiteral("Fetching the list archive"), run.archiveUrl, run.archiveAnswer);
    return false;
}

bool ListUpdate::unpack(Run &run, QString &error)
{
    if (!run.archiveChanged)
        return true;
    const auto removeArchive = qScopeGuard([this] { QFile::remove(archivePath()); });
    run.transaction = std::make_unique<FolderTransaction>(m_programFolder);
    QString why;
    if (!run.transaction->begin(&why)) {
        error = QStringLiteral("Unpacking the list archive failed.\nFolder: %1\nReason: %2").arg(m_programFolder, why);
        return false;
    }
    const ExtractionResult result =
        m_extractor.unpack(archivePath(), run.transaction->stagingPath(), [this](int done, int total) {
            report(Step::Unpack, done, total);
            // The progress dialog's Cancel, painting and the end signals get
            // their turn between files.
            QCoreApplication::processEvents();
            return !m_cancelled;
        });
    if (result.ok())
        return true;
    run.transaction.reset();
    error = QStringLiteral("Unpacking the list archive failed.\nAddress: %1\nReason: %2").arg(run.archiveUrl, result.message);
    return false;
}

bool ListUpdate::commit(Run &run, QString &error)
{
    if (!run.archiveChanged && run.newCatalogue.isEmpty())
        return true;
    const auto failed = [&](const QString &why) {
        run.transaction.reset();
        error = QStringLiteral("Putting the new list in place failed.\nFolder: %1\nReason: %2").arg(m_programFolder, why);
        return false;
    };
    if (!run.transaction) {
        run.transaction = std::make_unique<FolderTransaction>(m_programFolder);
        QString why;
        if (!run.transaction->begin(&why))
            return failed(why);
    }
    const QString staging = run.transaction->stagingPath();
    QString why;
    if (!run.newCatalogue.isEmpty() && !writeFile(staging + u'/' + kCatalogueFile, run.newCatalogue, why))
        return failed(why);

    // The validators go in with the copies they describe, and only with them:
    // those of an archive that was refused or cancelled are never kept.
    QList<KnownCopy> copies = readKnownCopies(m_programFolder);
    const auto remember = [&](const QString &url, const FetchResult &answer, const QString &file) {
        copies.removeIf([&](const KnownCopy &copy) { return copy.url == url; });
        if (!answer.etag.isEmpty() || answer.lastModified.isValid())
            copies.append({url, answer.etag, answer.lastModified, file, stampOf(staging + u'/' + file)});
    };
    if (!run.newCatalogue.isEmpty())
        remember(catalogueUrl(), run.catalogueAnswer, kCatalogueFile);
    if (run.archiveChanged)
        remember(run.archiveUrl, run.archiveAnswer, run.current.listFile);
    if ((!copies.isEmpty() || QFile::exists(m_programFolder + u'/' + kValidatorsFile)) &&
        !writeFile(staging + u'/' + kValidatorsFile, writeKnownCopies(copies), why))
        return failed(why);

    const FolderTransaction::Result result =
        run.transaction->commit([this](int done, int total) { report(Step::Commit, done, total); });
    run.transaction.reset();
    if (!result.ok())
        return failed(result.message);
    return true;
}
