#include "sitefolderfetcher.h"

#include "core/checkedfile.h"

#include "core/listserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

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

SiteFolderFetcher::SiteFolderFetcher(QString siteFolder) : m_folder(std::move(siteFolder)) {}

QByteArray SiteFolderFetcher::entityTag(const QFileInfo &file)
{
    const qint64 modified = file.lastModified().toMSecsSinceEpoch();
    return '"' + QByteArray::number(file.size(), 16) + '-' + QByteArray::number(modified, 16) + '"';
}

FetchResult SiteFolderFetcher::fetch(const FetchRequest &request)
{
    if (m_busy)
        return FetchResult::busy();
    if (!ListServer::isBuiltIn(request.url))
        return FetchResult::failure(
            Status::BadAddress, QStringLiteral("not an address of the built-in list: %1").arg(request.url.toString()));
    m_busy = true;
    m_cancelled = false;
    const auto idle = qScopeGuard([this] { m_busy = false; });

    const SiteFile site = findSiteFile(m_folder, request.url);
    if (site.kind == SiteFile::Kind::Refused)
        return FetchResult::failure(Status::HttpError,
                                    QStringLiteral("the address leaves the built-in list's folder: refused (403 Forbidden)"),
                                    403);
    if (site.kind == SiteFile::Kind::NotFound)
        return FetchResult::failure(
            Status::HttpError, QStringLiteral("the built-in list has no %1 (404 Not Found)").arg(request.url.path()), 404);

    const QFileInfo info(site.path);
    FetchResult result;
    result.etag = entityTag(info);
    result.lastModified = toSeconds(info.lastModified());
    const bool unchanged = !request.ifNoneMatch.isEmpty()
                               ? matchesTag(request.ifNoneMatch, result.etag)
                               : request.ifModifiedSince.isValid() &&
                                     result.lastModified <= toSeconds(request.ifModifiedSince);
    if (unchanged) {
        result.status = Status::NotModified;
        result.httpStatus = 304;
        return result;
    }

    const qint64 total = info.size();
    if (total > request.maxBytes)
        return FetchResult::failure(
            Status::TooLarge,
            QStringLiteral("the answer is %1 bytes long, more than %2").arg(total).arg(request.maxBytes), 200);
    QFile source(site.path);
    if (!source.open(QIODevice::ReadOnly))
        return FetchResult::failure(
            Status::HttpError, QStringLiteral("%1: %2 (403 Forbidden)").arg(request.url.path(), source.errorString()), 403);
    std::unique_ptr<CheckedFileWriter> target;
    if (!request.saveTo.isEmpty()) {
        target = std::make_unique<CheckedFileWriter>(request.saveTo);
        if (!target->open())
            return FetchResult::failure(Status::WriteFailed, target->errorString(), 200);
    } else {
        result.body.reserve(qsizetype(total));
    }
    result.httpStatus = 200;

    const auto fail = [&](Status status, const QString &text) {
        if (target)
            target->cancel();
        result.status = status;
        result.errorText = text;
        result.body.clear();
        return result;
    };
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    for (;;) {
        if (m_cancelled)
            return fail(Status::Cancelled, QStringLiteral("cancelled"));
        const qint64 n = source.read(chunk.data(), chunk.size());
        if (n < 0)
            return fail(Status::Incomplete, QStringLiteral("%1: %2").arg(site.path, source.errorString()));
        if (n == 0)
            break;
        if (result.bytesReceived + n > request.maxBytes)
            return fail(Status::TooLarge, QStringLiteral("the answer is longer than %1 bytes").arg(request.maxBytes));
        if (target) {
            if (!target->write(QByteArrayView(chunk.constData(), n)))
                return fail(Status::WriteFailed, target->errorString());
        } else {
            result.body.append(chunk.constData(), n);
        }
        result.bytesReceived += n;
        if (request.progress)
            request.progress(result.bytesReceived, total);
        if (sinceEvents.elapsed() >= kEventsEveryMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceEvents.restart();
        }
    }
    if (m_cancelled)
        return fail(Status::Cancelled, QStringLiteral("cancelled"));
    // The file changed while it was read: what arrived is not the file it was.
    if (result.bytesReceived != total)
        return fail(Status::Incomplete,
                    QStringLiteral("%1 bytes arrived where %2 were announced").arg(result.bytesReceived).arg(total));
    if (target) {
        if (!target->commit())
            return fail(Status::WriteFailed, target->errorString());
        result.savedTo = request.saveTo;
    }
    result.status = Status::Ok;
    return result;
}

void SiteFolderFetcher::cancel()
{
    if (m_busy)
        m_cancelled = true;
}
