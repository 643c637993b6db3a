#include "networkfetcher.h"

#include "core/checkedfile.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <memory>

namespace {

using Status = FetchResult::Status;

constexpr qint64 kChunkBytes = 64 * 1024;

// The state of one transfer, fed by the reply's signals.
class Transfer
{
public:
    Transfer(const FetchRequest &request, FetchResult &result, const NetworkFetcher::Settings &settings)
        : m_request(request), m_result(result), m_settings(settings)
    {
        m_clock.start();
    }

    void read(QNetworkReply *reply)
    {
        char chunk[kChunkBytes];
        if (m_draining) {
            // The rest of an error page: read and dropped, within the same cap.
            for (qint64 n; (n = reply->read(chunk, sizeof chunk)) > 0;) {
                m_drained += n;
                if (m_drained > m_request.maxBytes && !reply->isFinished()) {
                    m_draining = false;
                    reply->abort();
                }
            }
            return;
        }
        if (!begin(reply) || m_notModified)
            return;
        const qint64 before = m_result.bytesReceived;
        for (;;) {
            const qint64 n = reply->read(chunk, sizeof chunk);
            if (n <= 0)
                break;
            if (m_result.bytesReceived + n > m_request.maxBytes) {
                fail(reply, Status::TooLarge,
                     QStringLiteral("the answer is longer than %1 bytes").arg(m_request.maxBytes));
                return;
            }
            if (m_file) {
                if (!m_file->write(QByteArrayView(chunk, n))) {
                    fail(reply, Status::WriteFailed, m_file->errorString());
                    return;
                }
            } else {
                m_result.body.append(chunk, n);
            }
            m_result.bytesReceived += n;
        }
        if (m_request.progress && m_result.bytesReceived != before)
            m_request.progress(m_result.bytesReceived, m_expected);
    }

    // Called now and then while the transfer runs: ends it when the bytes of the
    // last rate window fall short of the least average rate.
    void checkRate(QNetworkReply *reply)
    {
        if (m_failed || reply->isFinished())
            return;
        const qint64 now = m_clock.elapsed();
        m_samples.push_back({now, m_result.bytesReceived + m_drained});
        const qint64 window = m_settings.rateWindow.count();
        while (m_samples.size() > 1 && m_samples[1].first <= now - window)
            m_samples.pop_front();
        const auto &[since, bytesThen] = m_samples.front();
        if (now < window || since > now - window)
            return;
        const qint64 got = m_result.bytesReceived + m_drained - bytesThen;
        const qint64 least = m_settings.minBytesPerSecond * (now - since) / 1000;
        if (got < least)
            fail(reply, Status::TooSlow,
                 QStringLiteral("%1 bytes in the last %2 s, less than %3 bytes a second")
                     .arg(got)
                     .arg(double(now - since) / 1000, 0, 'f', 1)
                     .arg(m_settings.minBytesPerSecond));
    }

    void cancel(QNetworkReply *reply) { fail(reply, Status::Cancelled, QStringLiteral("cancelled")); }

    void finish(QNetworkReply *reply)
    {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        m_result.httpStatus = status.isValid() ? status.toInt() : 0;
        if (!m_failed) {
            const QNetworkReply::NetworkError error = reply->error();
            if (error == QNetworkReply::NoError)
                read(reply);
            else
                judgeError(reply, error);
        }
        if (!m_failed) {
            if (m_notModified)
                m_result.status = Status::NotModified;
            else
                complete();
        }
        if (m_failed) {
            if (m_file)
                m_file->cancel();
            m_result.status = m_status;
            m_result.errorText = m_text;
            m_result.body.clear();
        }
    }

private:
    // Looks at the answer's head once, before any byte of the body is kept.
    bool begin(QNetworkReply *reply)
    {
        if (m_started)
            return !m_failed;
        m_started = true;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        m_result.httpStatus = status.isValid() ? status.toInt() : 0;
        if (m_result.httpStatus == 200 || m_result.httpStatus == 304) {
            m_result.etag = reply->rawHeader("ETag");
            m_result.lastModified = reply->header(QNetworkRequest::LastModifiedHeader).toDateTime();
        }
        // Unchanged: an answer only to a request that named the copy it has.
        if (m_result.httpStatus == 304 && (!m_request.ifNoneMatch.isEmpty() || m_request.ifModifiedSince.isValid())) {
            m_notModified = true;
            return true;
        }
        if (m_result.httpStatus != 200) {
            const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            fail(reply, Status::HttpError,
                 QStringLiteral("the server answered %1 %2").arg(m_result.httpStatus).arg(reason).trimmed());
            return false;
        }
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid()) {
            m_expected = length.toLongLong();
            if (m_expected > m_request.maxBytes) {
                fail(reply, Status::TooLarge,
                     QStringLiteral("the answer is %1 bytes long, more than %2")
                         .arg(m_expected)
                         .arg(m_request.maxBytes));
                return false;
            }
        }
        if (!m_request.saveTo.isEmpty()) {
            m_file = std::make_unique<CheckedFileWriter>(m_request.saveTo);
            if (!m_file->open()) {
                fail(reply, Status::WriteFailed, m_file->errorString());
                return false;
            }
        } else if (m_expected > 0) {
            m_result.body.reserve(qsizetype(m_expected));
        }
        return true;
    }

    void judgeError(QNetworkReply *reply, QNetworkReply::NetworkError error)
    {
        if (error == QNetworkReply::TooManyRedirectsError || error == QNetworkReply::InsecureRedirectError) {
            m_failed = true;
            m_status = Status::NetworkError;
            m_text = reply->errorString();
            return;
        }
        // An error answer with an empty body never reached begin().
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!m_started && status.isValid() && status.toInt() != 200) {
            begin(reply);
            return;
        }
        m_failed = true;
        if (error == QNetworkReply::OperationCanceledError) {
            // Not our abort (that sets m_failed first): the transfer timeout.
            m_status = Status::TimedOut;
            m_text = QStringLiteral("no data from the server for %1 ms").arg(m_settings.stallTimeout.count());
        } else if (m_started && error == QNetworkReply::RemoteHostClosedError) {
            m_status = Status::Incomplete;
            m_text = QStringLiteral("the connection closed after %1 bytes of %2")
                         .arg(m_result.bytesReceived)
                         .arg(m_expected >= 0 ? QString::number(m_expected) : QStringLiteral("an unknown length"));
        } else {
            m_status = Status::NetworkError;
            m_text = reply->errorString();
        }
    }

    void complete()
    {
        if (m_expected >= 0 && m_result.bytesReceived != m_expected) {
            m_failed = true;
            m_status = Status::Incomplete;
            m_text =
                QStringLiteral("%1 bytes arrived where %2 were announced").arg(m_result.bytesReceived).arg(m_expected);
            return;
        }
        if (m_file) {
            if (!m_file->commit()) {
                m_failed = true;
                m_status = Status::WriteFailed;
                m_text = m_file->errorString();
                return;
            }
            m_result.savedTo = m_request.saveTo;
        }
        m_result.status = Status::Ok;
    }

    void fail(QNetworkReply *reply, Status status, const QString &text)
    {
        m_failed = true;
        m_status = status;
        m_text = text;
        if (reply->isFinished())
            return;
        // Qt takes a second error on a reply that has one (an error status) for an
        // internal fault: such a reply runs out instead.
        if (reply->error() == QNetworkReply::NoError) {
            reply->abort();
        } else {
            m_draining = true;
            read(reply);
        }
    }

    const FetchRequest &m_request;
    FetchResult &m_result;
    const NetworkFetcher::Settings &m_settings;
    std::unique_ptr<CheckedFileWriter> m_file;
    QElapsedTimer m_clock;
    std::deque<std::pair<qint64, qint64>> m_samples{{0, 0}}; // (ms since the start, bytes by then)
    qint64 m_expected = -1;
    bool m_started = false;
    bool m_notModified = false;
    bool m_failed = false;
    bool m_draining = false;
    qint64 m_drained = 0;
    Status m_status = Status::NetworkError;
    QString m_text;
};

} // namespace

// One transfer under way: the reply, the state its signals feed, and the
// timer that watches its rate.
struct NetworkFetcher::Running
{
    Running(const FetchRequest &request, const NetworkFetcher::Settings &settings)
        : request(request), transfer(this->request, result, settings)
    {}

    FetchRequest request;
    FetchResult result;
    Transfer transfer;
    std::unique_ptr<QNetworkReply> reply;
    QTimer rateCheck;
};

NetworkFetcher::NetworkFetcher(QObject *parent) : NetworkFetcher(Settings{}, parent) {}

NetworkFetcher::NetworkFetcher(Settings settings, QObject *parent)
    : HttpFetcher(parent), m_settings(settings), m_manager(std::make_unique<QNetworkAccessManager>())
{}

NetworkFetcher::~NetworkFetcher() = default;

bool NetworkFetcher::start(const FetchRequest &request)
{
    if (isBusy())
        return false;
    const QString scheme = request.url.scheme().toLower();
    if (!request.url.isValid() || request.url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        finishLater(FetchResult::failure(Status::BadAddress,
                                         QStringLiteral("not a web address: %1").arg(request.url.toString())));
        return true;
    }

    QNetworkRequest http(request.url);
    http.setTransferTimeout(int(m_settings.stallTimeout.count()));
    http.setMaximumRedirectsAllowed(m_settings.maxRedirects);
    http.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // Bytes exactly as the server keeps them, and a Content-Length that counts them.
    http.setRawHeader("Accept-Encoding", "identity");
    if (!request.ifNoneMatch.isEmpty())
        http.setRawHeader("If-None-Match", request.ifNoneMatch);
    if (request.ifModifiedSince.isValid())
        http.setHeader(QNetworkRequest::IfModifiedSinceHeader, request.ifModifiedSince);

    m_running = std::make_unique<Running>(request, m_settings);
    Running &run = *m_running;
    run.reply.reset(m_manager->get(http));
    QNetworkReply *reply = run.reply.get();
    reply->setReadBufferSize(m_settings.readBufferBytes);
    connect(reply, &QNetworkReply::readyRead, this, [this] { m_running->transfer.read(m_running->reply.get()); });
    // Queued: a reply that ends inside abort() (a cancel) reports from the event loop.
    connect(reply, &QNetworkReply::finished, this, &NetworkFetcher::end, Qt::QueuedConnection);
    run.rateCheck.setInterval(std::max<qint64>(m_settings.rateWindow.count() / 6, 1));
    connect(&run.rateCheck, &QTimer::timeout, this, [this] { m_running->transfer.checkRate(m_running->reply.get()); });
    run.rateCheck.start();
    return true;
}

void NetworkFetcher::end()
{
    if (!m_running)
        return;
    const std::unique_ptr<Running> run = std::move(m_running);
    run->rateCheck.stop();
    run->reply->disconnect(this);
    run->transfer.finish(run->reply.get());
    Q_EMIT finished(run->result);
}

bool NetworkFetcher::isBusy() const
{
    return m_running || answerPending();
}

void NetworkFetcher::cancel()
{
    if (m_running && !m_running->reply->isFinished())
        m_running->transfer.cancel(m_running->reply.get());
}
