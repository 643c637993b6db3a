#include "listupdate.h"

#include "archive/foldertransaction.h"
#include "core/checkedfile.h"
#include "core/options.h"
#include "core/programfiles.h"
#include "core/settingsstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>

#include <algorithm>

namespace {

// The window's words, kept as they have always read.
const char kRetryTitle[] = QT_TRANSLATE_NOOP("ListUpdate", "Connection Error");
const char kRetryText[] = QT_TRANSLATE_NOOP(
    "ListUpdate", "Error encounter while transferring data from server. Press 'Ok' to retry or 'Cancel' to exit.");
const char kSuccessTitle[] = QT_TRANSLATE_NOOP("ListUpdate", "Mod List");
const char kSuccessText[] = QT_TRANSLATE_NOOP("ListUpdate", "Mod List updated successfully.");
const char kUpToDateText[] = QT_TRANSLATE_NOOP("ListUpdate", "Mod List is up to date.");
const char kUnfinishedText[] = QT_TRANSLATE_NOOP(
    "ListUpdate", "The new list could not be put wholly in place, and the old one could not be restored either. "
                  "The program will finish putting the new list in place when it next starts.");

QString text(const char *source)
{
    return QCoreApplication::translate("ListUpdate", source);
}
const QString &kCatalogueFile = ProgramFiles::kCatalogue;
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
    QString file; // relative to the program folder
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
    QString said = text(QT_TRANSLATE_NOOP("ListUpdate", "%1 failed.\nAddress: %2\n")).arg(what, url);
    if (result.httpStatus != 0)
        said += text(QT_TRANSLATE_NOOP("ListUpdate", "HTTP status: %1\n")).arg(result.httpStatus);
    return said + text(QT_TRANSLATE_NOOP("ListUpdate", "Reason: %1")).arg(result.errorText);
}

bool writeFile(const QString &path, const QByteArray &bytes, QString &error)
{
    return replaceFileContents(path, bytes, &error);
}

} // namespace

// What one run has learned so far.
struct ListUpdate::Run
{
    ModListEntry current;
    QString archiveUrl;
    QByteArray newCatalogue; // empty: the catalogue in place is current
    FetchResult catalogueAnswer;
    FetchResult archiveAnswer;
    bool archiveChanged = false;
    bool unfinished = false; // a commit that could be neither finished nor undone
    QString warning;         // what went wrong after the new list was in place
    bool busyPointer = true; // after the first failure the pointer stays normal
    // Staged by the unpacking, put in place by the commit; both run on a worker.
    std::shared_ptr<FolderTransaction> transaction;
    Outcome outcome;
};

ListUpdate::ListUpdate(QString programFolder, QString listServer, SettingsStore &settings, HttpFetcher &fetcher,
                       ListUpdateHooks hooks, QObject *parent)
    : QObject(parent),
      m_programFolder(std::move(programFolder)),
      m_listServer(std::move(listServer)),
      m_settings(settings),
      m_fetcher(fetcher),
      m_hooks(std::move(hooks)),
      m_today([] { return QDate::currentDate(); })
{
    connect(&m_fetcher, &HttpFetcher::finished, this, &ListUpdate::fetched);
    // The archive unpacks into the program folder, beside the program's own
    // files; a list archive has no business replacing any of them. (Names that
    // begin ".kml-" are refused by the extractor itself.)
    QStringList own{ProgramFiles::kFavourites, ProgramFiles::kFavourites + QStringLiteral(".bak*"), kCatalogueFile,
                    ProgramFiles::kArchiveDownload, ProgramFiles::kListServerFile};
    const QFileInfo executable(QCoreApplication::applicationFilePath());
    if (!executable.fileName().isEmpty() && QFileInfo(executable.absolutePath()) == QFileInfo(m_programFolder))
        own.append(executable.fileName());
    m_extractor.setProtectedNames(own);
}

ListUpdate::~ListUpdate()
{
    // A worker must not outlive what it reports to; one that puts files in
    // place runs to its end first, as it would anyway.
    m_cancelled = true;
    m_work.waitForFinished();
}

QString ListUpdate::archivePath() const
{
    return ProgramFiles::inFolder(m_programFolder, ProgramFiles::kArchiveDownload);
}

QString ListUpdate::catalogueUrl() const
{
    return m_listServer + ProgramFiles::kListPath + kCatalogueFile;
}

QString ListUpdate::recoverInterrupted(const QString &programFolder)
{
    QString message;
    FolderTransaction::recover(programFolder, &message);
    const QString archive = ProgramFiles::inFolder(programFolder, ProgramFiles::kArchiveDownload);
    if (QFile::exists(archive)) {
        QFile::remove(archive);
        if (message.isEmpty())
            message = tr("removed the archive of an update that was cut off");
    }
    return message;
}

void ListUpdate::cancel()
{
    if (!m_run || m_committing)
        return;
    m_cancelled = true;
    m_fetcher.cancel();
}

void ListUpdate::report(Step step, qint64 done, qint64 total, bool always)
{
    // Now and then, but at once when a step starts or learns its total.
    if (!m_hooks.progress ||
        (!always && total == m_reportedTotal && m_sinceReport.isValid() && m_sinceReport.elapsed() < kReportIntervalMs))
        return;
    m_sinceReport.start();
    m_reportedTotal = total;
    m_hooks.progress(step, done, total);
}

bool ListUpdate::start(ModListEntry current)
{
    if (m_run)
        return false;
    m_run = std::make_unique<Run>();
    m_run->current = std::move(current);
    m_cancelled = false;
    m_committing = false;
    if (m_hooks.setButtonEnabled)
        m_hooks.setButtonEnabled(false);
    if (m_hooks.setBusy)
        m_hooks.setBusy(true);
    recoverInterrupted(m_programFolder);
    next(Step::FetchCatalogue);
    return true;
}

void ListUpdate::next(Step step)
{
    // From the event loop: a step never starts inside the one before it.
    QMetaObject::invokeMethod(
        this, [this, step] { perform(step); }, Qt::QueuedConnection);
}

void ListUpdate::perform(Step step)
{
    if (!m_run)
        return;
    Run &run = *m_run;
    m_step = step;
    if (m_cancelled)
        return stepEnded(false, {});
    // The steps that have work to do say so as they start.
    if (step == Step::FetchCatalogue || step == Step::FetchArchive || step == Step::StampDate ||
        (step == Step::Unpack && run.archiveChanged) ||
        (step == Step::Commit && (run.archiveChanged || !run.newCatalogue.isEmpty())))
        report(step, 0, -1, true);
    switch (step) {
    case Step::FetchCatalogue:
        return startFetch(conditionalRequest(m_programFolder, catalogueUrl(), QString(), kMaxCatalogueBytes));
    case Step::FetchArchive:
        QFile::remove(archivePath());
        // The catalogue's own validators would answer for it, and a 304 would
        // pass for an unchanged archive: a catalogue that names itself names no archive.
        if (QUrl(run.archiveUrl).adjusted(QUrl::NormalizePathSegments) ==
            QUrl(catalogueUrl()).adjusted(QUrl::NormalizePathSegments))
            return stepEnded(false, tr("Fetching the list archive failed.\nAddress: %1\nReason: the address "
                                       "is the list catalogue's own, not an archive")
                                        .arg(run.archiveUrl));
        return startFetch(conditionalRequest(m_programFolder, run.archiveUrl, archivePath(), kMaxArchiveBytes));
    case Step::Unpack:
        if (!run.archiveChanged)
            return stepEnded(true, {});
        return startUnpack();
    case Step::Commit:
        m_committing = true;
        if (!run.archiveChanged && run.newCatalogue.isEmpty())
            return stepEnded(true, {});
        return startCommit();
    case Step::StampDate:
        // The new list is in place whatever happens here: a date that cannot
        // be saved is said beside the success, never reported as a failure.
        if (!m_settings.setValue(run.current.settingsName, Options::kSection, Options::kUpdateDate,
                                 dateStamp(m_today()))) {
            const QString why = m_settings.errorString();
            run.warning = why.isEmpty() ? tr("The update date could not be saved.")
                                        : tr("The update date could not be saved: %1").arg(why);
        }
        return stepEnded(true, {});
    case Step::ShowDate:
        if (m_hooks.setUpdatedLabel)
            m_hooks.setUpdatedLabel(updatedLabelText(updateDate(m_settings, run.current.settingsName, m_today())));
        return stepEnded(true, {});
    case Step::RebuildTree:
        if (m_hooks.rebuildTree)
            m_hooks.rebuildTree();
        return stepEnded(true, {});
    }
}

void ListUpdate::stepEnded(bool ok, const QString &error)
{
    Run &run = *m_run;
    const auto normalPointer = [&] {
        if (std::exchange(run.busyPointer, false) && m_hooks.setBusy)
            m_hooks.setBusy(false);
    };
    // A Cancel that came before the files began to move counts, even where
    // the step it came in ended well.
    if (ok && !m_cancelled) {
        if (m_step == Step::Commit)
            normalPointer();
        if (m_step == Step::RebuildTree)
            return finish(Outcome::End::Updated);
        return next(Step(int(m_step) + 1));
    }
    normalPointer();
    run.outcome.cancelledAt = m_step;
    // Cancelled by the user: no question, the old list stays.
    if (m_cancelled) {
        m_lastError = tr("The update was cancelled.");
        return finish(Outcome::End::Cancelled);
    }
    ++run.outcome.failures;
    m_lastError = error;
    // The folder is neither old nor new until the journal is replayed: a
    // retry would only meet it again. The next start finishes it.
    if (run.unfinished) {
        m_lastError += tr("\nThe new list is only partly in place; the program finishes putting it "
                          "in place when it next starts.");
        return finish(Outcome::End::Unfinished);
    }
    if (!m_hooks.askRetry || !m_hooks.askRetry(text(kRetryTitle), text(kRetryText), error))
        return finish(Outcome::End::Cancelled);
    // The staged files are gone with a failed unpacking or commit: fetch the
    // archive anew.
    Step again = m_step;
    if (again == Step::Unpack || again == Step::Commit) {
        again = Step::FetchArchive;
        m_committing = false;
    }
    next(again);
}

void ListUpdate::finish(Outcome::End how)
{
    const std::unique_ptr<Run> run = std::move(m_run);
    // However the update ends, it leaves no archive and no staging behind.
    run->transaction.reset();
    QFile::remove(archivePath());
    m_committing = false;
    if (m_hooks.setButtonEnabled)
        m_hooks.setButtonEnabled(true);
    Outcome outcome = run->outcome;
    outcome.end = how;
    if (how == Outcome::End::Updated) {
        outcome.unchanged = !run->archiveChanged && run->newCatalogue.isEmpty();
        outcome.warning = run->warning;
        const QString said = text(outcome.unchanged ? kUpToDateText : kSuccessText);
        if (m_hooks.inform)
            m_hooks.inform(text(kSuccessTitle), run->warning.isEmpty() ? said : said + u'\n' + run->warning, QString(),
                           !run->warning.isEmpty());
    } else if (how == Outcome::End::Unfinished && m_hooks.inform) {
        m_hooks.inform(text(kSuccessTitle), text(kUnfinishedText), m_lastError, true);
    }
    Q_EMIT finished(outcome);
}

void ListUpdate::startFetch(FetchRequest request)
{
    const Step step = m_step;
    request.progress = [this, step](qint64 received, qint64 total) { report(step, received, total); };
    m_fetching = m_fetcher.start(request);
    if (!m_fetching)
        stepEnded(false, tr("%1 failed.\nAddress: %2\nReason: another transfer is still going on")
                             .arg(step == Step::FetchCatalogue ? tr("Fetching the list catalogue")
                                                               : tr("Fetching the list archive"),
                                  request.url.toString()));
}

void ListUpdate::fetched(const FetchResult &answer)
{
    if (!m_run || !std::exchange(m_fetching, false))
        return;
    QString error;
    const bool ok = m_step == Step::FetchCatalogue ? catalogueFetched(answer, error) : archiveFetched(answer, error);
    stepEnded(ok, error);
}

bool ListUpdate::catalogueFetched(const FetchResult &answer, QString &error)
{
    Run &run = *m_run;
    const QString url = catalogueUrl();
    run.catalogueAnswer = answer;
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
        error = fetchFailure(tr("Fetching the list catalogue"), url, answer);
        return false;
    }
    // Anything but a catalogue (an error page sent with 200, for one) would make
    // the next start fall back to the built-in list: the same reading decides.
    const CatalogueLoad read = parseCatalogue(catalogue, defaultCatalogueRow(m_listServer));
    if (read.usedDefault) {
        run.newCatalogue.clear();
        error =
            tr("Fetching the list catalogue failed.\nAddress: %1\nReason: the answer is no list catalogue").arg(url);
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

bool ListUpdate::archiveFetched(const FetchResult &answer, QString &error)
{
    Run &run = *m_run;
    run.archiveAnswer = answer;
    run.archiveChanged = answer.ok();
    if (answer.ok() || answer.status == FetchResult::Status::NotModified)
        return true;
    error = fetchFailure(tr("Fetching the list archive"), run.archiveUrl, answer);
    return false;
}

std::function<bool(int, int)> ListUpdate::workerProgress(Step step)
{
    // Called on the worker: reports reach the window through its event loop,
    // now and then, and the answer is whether to go on.
    auto since = std::make_shared<QElapsedTimer>();
    return [this, step, since](int done, int total) {
        if (!since->isValid() || since->elapsed() >= kReportIntervalMs || done == total) {
            since->start();
            QMetaObject::invokeMethod(
                this, [this, step, done, total] { report(step, done, total, true); }, Qt::QueuedConnection);
        }
        return !m_cancelled.load();
    };
}

void ListUpdate::startUnpack()
{
    const QString folder = m_programFolder, archive = archivePath(), url = m_run->archiveUrl;
    const auto progress = workerProgress(Step::Unpack);
    m_work = QtConcurrent::run([this, folder, archive, url, progress] {
        auto transaction = std::make_shared<FolderTransaction>(folder);
        QString why, error;
        if (!transaction->begin(&why)) {
            error = tr("Unpacking the list archive failed.\nFolder: %1\nReason: %2").arg(folder, why);
        } else {
            const ExtractionResult result = m_extractor.unpack(archive, transaction->stagingPath(), progress);
            if (!result.ok())
                error = tr("Unpacking the list archive failed.\nAddress: %1\nReason: %2").arg(url, result.message);
        }
        QFile::remove(archive);
        if (!error.isEmpty())
            transaction.reset();
        QMetaObject::invokeMethod(
            this,
            [this, transaction, error] {
                if (!m_run)
                    return;
                m_run->transaction = transaction;
                stepEnded(error.isEmpty(), error);
            },
            Qt::QueuedConnection);
    });
}

void ListUpdate::startCommit()
{
    Run &run = *m_run;
    // What the worker needs, copied: the run stays with this thread.
    struct Staged
    {
        std::shared_ptr<FolderTransaction> transaction;
        QByteArray newCatalogue;
        FetchResult catalogueAnswer, archiveAnswer;
        QString catalogueUrl, archiveUrl, listFile;
        bool archiveChanged;
    };
    Staged staged{std::exchange(run.transaction, {}),
                  run.newCatalogue,
                  run.catalogueAnswer,
                  run.archiveAnswer,
                  catalogueUrl(),
                  run.archiveUrl,
                  run.current.listFile,
                  run.archiveChanged};
    const QString folder = m_programFolder;
    const auto progress = workerProgress(Step::Commit);
    m_work = QtConcurrent::run([this, staged, folder, progress] {
        bool unfinished = false;
        QString error;
        const auto failed = [&](const QString &why) {
            error = tr("Putting the new list in place failed.\nFolder: %1\nReason: %2").arg(folder, why);
        };
        std::shared_ptr<FolderTransaction> transaction = staged.transaction;
        QString why;
        if (!transaction) {
            transaction = std::make_shared<FolderTransaction>(folder);
            if (!transaction->begin(&why))
                failed(why);
        }
        const QString staging = transaction->stagingPath();
        if (error.isEmpty() && !staged.newCatalogue.isEmpty() &&
            !writeFile(staging + u'/' + kCatalogueFile, staged.newCatalogue, why))
            failed(why);
        if (error.isEmpty()) {
            // The validators go in with the copies they describe, and only with
            // them: those of an archive that was refused or cancelled are never kept.
            QList<KnownCopy> copies = readKnownCopies(folder);
            const auto remember = [&](const QString &url, const FetchResult &answer, const QString &file) {
                copies.removeIf([&](const KnownCopy &copy) { return copy.url == url; });
                if (!answer.etag.isEmpty() || answer.lastModified.isValid())
                    copies.append({url, answer.etag, answer.lastModified, file, stampOf(staging + u'/' + file)});
            };
            if (!staged.newCatalogue.isEmpty())
                remember(staged.catalogueUrl, staged.catalogueAnswer, kCatalogueFile);
            if (staged.archiveChanged)
                remember(staged.archiveUrl, staged.archiveAnswer, staged.listFile);
            if ((!copies.isEmpty() || QFile::exists(folder + u'/' + kValidatorsFile)) &&
                !writeFile(staging + u'/' + kValidatorsFile, writeKnownCopies(copies), why))
                failed(why);
        }
        if (error.isEmpty()) {
            const FolderTransaction::Result result =
                transaction->commit([&](int done, int total) { progress(done, total); });
            if (!result.ok()) {
                unfinished = result.status == FolderTransaction::Result::Status::Unfinished;
                failed(result.message);
            }
        } else {
            transaction->discard();
        }
        QMetaObject::invokeMethod(
            this,
            [this, unfinished, error] {
                if (!m_run)
                    return;
                m_run->unfinished = unfinished;
                stepEnded(error.isEmpty(), error);
            },
            Qt::QueuedConnection);
    });
}
