#include "sitefolderfetcher.h"

#include "core/checkedfile.h"

#include "core/listserver.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace {

using Status = FetchResult::Status;

constexpr qint64 kChunkBytes = 256 * 1024;
// How long a copy may keep the event loop waiting: about one frame.
constexpr qint64 kEventsEveryMs = 16;

// True when an If-None-Match value names the tag: a list of tags, weak ones
// included (a GET compares weakly), or "*".
bool matchesTag(const QByteArray &ifNoneMatch, const QByteArray &tag)
{
    for (QByteArray candidate : ifNoneMatch.split(',')) {
        candidate = candidate.trimmed();
        if (candidate.startsWith("W/"))
            candidate.remove(0, 2);
        if (candidate == "*" || candidate == tag)
            return true;
    }
    return false;
}

// HTTP dates count whole seconds.
QDateTime toSeconds(const QDateTime &time)
{
    return QDateTime::fromSecsSinceEpoch(time.toSecsSinceEpoch(), Qt::UTC);
}

} // namespace

SiteFolderFetcher::SiteFolderFetcher(QString siteFolder, QObject *parent)
    : HttpFetcher(parent), m_folder(std::move(siteFolder))
{
    m_pump.setInterval(0);
    connect(&m_pump, &QTimer::timeout, this, &SiteFolderFetcher::copySome);
}

QByteArray SiteFolderFetcher::entityTag(const QFileInfo &file)
{
    const qint64 modified = file.lastModified().toMSecsSinceEpoch();
    return '"' + QByteArray::number(file.size(), 16) + '-' + QByteArray::number(modified, 16) + '"';
}

// A copy under way: the file read, the file written, and what was learned.
struct SiteFolderFetcher::Copy
{
    FetchRequest request;
    FetchResult result;
    QFile source;
    std::unique_ptr<CheckedFileWriter> target;
    qint64 total = 0;
};

SiteFolderFetcher::~SiteFolderFetcher() = default;

bool SiteFolderFetcher::start(const FetchRequest &request)
{
    if (isBusy())
        return false;
    m_cancelled = false;
    m_copy = std::make_unique<Copy>();
    m_copy->request = request;
    const FetchResult answered = open(*m_copy);
    if (answered.status != Status::Ok || !m_copy->source.isOpen()) {
        m_copy.reset();
        finishLater(answered);
        return true;
    }
    m_pump.start();
    return true;
}

FetchResult SiteFolderFetcher::open(Copy &copy) const
{
    const FetchRequest &request = copy.request;
    if (!ListServer::isBuiltIn(request.url))
        return FetchResult::failure(
            Status::BadAddress, QStringLiteral("not an address of the built-in list: %1").arg(request.url.toString()));
    const SiteFile site = findSiteFile(m_folder, request.url);
    if (site.kind == SiteFile::Kind::Refused)
        return FetchResult::failure(
            Status::HttpError, QStringLiteral("the address leaves the built-in list's folder: refused (403 Forbidden)"),
            403);
    if (site.kind == SiteFile::Kind::NotFound)
        return FetchResult::failure(
            Status::HttpError, QStringLiteral("the built-in list has no %1 (404 Not Found)").arg(request.url.path()),
            404);

    const QFileInfo info(site.path);
    FetchResult &result = copy.result;
    result.etag = entityTag(info);
    result.lastModified = toSeconds(info.lastModified());
    const bool unchanged =
        !request.ifNoneMatch.isEmpty()
            ? matchesTag(request.ifNoneMatch, result.etag)
            : request.ifModifiedSince.isValid() && result.lastModified <= toSeconds(request.ifModifiedSince);
    if (unchanged) {
        result.status = Status::NotModified;
        result.httpStatus = 304;
        return result;
    }

    copy.total = info.size();
    if (copy.total > request.maxBytes)
        return FetchResult::failure(
            Status::TooLarge,
            QStringLiteral("the answer is %1 bytes long, more than %2").arg(copy.total).arg(request.maxBytes), 200);
    copy.source.setFileName(site.path);
    if (!copy.source.open(QIODevice::ReadOnly))
        return FetchResult::failure(
            Status::HttpError,
            QStringLiteral("%1: %2 (403 Forbidden)").arg(request.url.path(), copy.source.errorString()), 403);
    if (!request.saveTo.isEmpty()) {
        copy.target = std::make_unique<CheckedFileWriter>(request.saveTo);
        if (!copy.target->open())
            return FetchResult::failure(Status::WriteFailed, copy.target->errorString(), 200);
    } else {
        result.body.reserve(qsizetype(copy.total));
    }
    result.httpStatus = 200;
    result.status = Status::Ok;
    return result;
}

void SiteFolderFetcher::copySome()
{
    Copy &copy = *m_copy;
    FetchResult &result = copy.result;
    const auto end = [this](Status status, const QString &text) {
        m_pump.stop();
        const std::unique_ptr<Copy> done = std::move(m_copy);
        FetchResult &result = done->result;
        if (status != Status::Ok) {
            if (done->target)
                done->target->cancel();
            result.status = status;
            result.errorText = text;
            result.body.clear();
        }
        Q_EMIT finished(result);
    };
    // About a frame's worth of copying at a time; the event loop runs between.
    QElapsedTimer slice;
    slice.start();
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    while (slice.elapsed() < kEventsEveryMs) {
        if (m_cancelled)
            return end(Status::Cancelled, QStringLiteral("cancelled"));
        const qint64 n = copy.source.read(chunk.data(), chunk.size());
        if (n < 0)
            return end(Status::Incomplete,
                       QStringLiteral("%1: %2").arg(copy.source.fileName(), copy.source.errorString()));
        if (n == 0) {
            // The file changed while it was read: what arrived is not the file it was.
            if (result.bytesReceived != copy.total)
                return end(Status::Incomplete, QStringLiteral("%1 bytes arrived where %2 were announced")
                                                   .arg(result.bytesReceived)
                                                   .arg(copy.total));
            if (copy.target) {
                if (!copy.target->commit())
                    return end(Status::WriteFailed, copy.target->errorString());
                result.savedTo = copy.request.saveTo;
            }
            return end(Status::Ok, {});
        }
        if (result.bytesReceived + n > copy.request.maxBytes)
            return end(Status::TooLarge,
                       QStringLiteral("the answer is longer than %1 bytes").arg(copy.request.maxBytes));
        if (copy.target) {
            if (!copy.target->write(QByteArrayView(chunk.constData(), n)))
                return end(Status::WriteFailed, copy.target->errorString());
        } else {
            result.body.append(chunk.constData(), n);
        }
        result.bytesReceived += n;
        if (copy.request.progress)
            copy.request.progress(result.bytesReceived, copy.total);
    }
}

bool SiteFolderFetcher::isBusy() const
{
    return m_copy || answerPending();
}

void SiteFolderFetcher::cancel()
{
    if (m_copy)
        m_cancelled = true;
}
