#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// One HTTP GET: where from, where the body goes, how much of it is acceptable.
struct FetchRequest
{
    QUrl url;
    // The file that receives the body. It is replaced only by a complete body of a
    // successful answer, and is left as it was by every failure. Empty: the body
    // is kept in memory and handed back in FetchResult::body.
    QString saveTo;
    qint64 maxBytes = qint64(1) << 30; // a longer body fails the fetch
    // Validators of the copy the program holds. When the server says it is
    // unchanged (304), the fetch ends NotModified and saveTo is left untouched.
    QByteArray ifNoneMatch;    // an entity tag, sent as If-None-Match; empty: none
    QDateTime ifModifiedSince; // sent as If-Modified-Since; invalid: none
    // Called while the body arrives; total is -1 when the server announced no length.
    std::function<void(qint64 received, qint64 total)> progress;
};

struct FetchResult
{
    enum class Status {
        Ok,
        NotModified,  // the copy named by the request's validators is current (304)
        BadAddress,   // not an http or https address
        NetworkError, // no answer: refused, unknown host, reset, too many redirects, https redirected to http
        HttpError,    // an answer other than 200
        TimedOut,     // the transfer stalled
        TooSlow,      // the body came too slowly to end in reasonable time
        Incomplete,   // the body ended before its announced length
        TooLarge,     // the body is longer than maxBytes
        WriteFailed,  // the file could not be written
        Busy,         // a fetch of this fetcher is still going on
        Cancelled,    // cancel() ended it
    };
    Status status = Status::NetworkError;
    int httpStatus = 0; // the final answer's status code, 0 when none came
    QString errorText;  // what went wrong, for a person
    QString savedTo;    // the file that now holds the body, when one was asked for
    QByteArray body;    // the body, when no file was asked for
    qint64 bytesReceived = 0;
    // The answer's validators, to send with the next request for the same address.
    QByteArray etag;
    QDateTime lastModified;

    bool ok() const { return status == Status::Ok; }

    // A fetch that failed with `status`, after an answer with `httpStatus` or none (0).
    static FetchResult failure(Status status, const QString &text, int httpStatus = 0)
    {
        FetchResult result;
        result.status = status;
        result.httpStatus = httpStatus;
        result.errorText = text;
        return result;
    }
};

// Fetches one address at a time. start() returns at once; finished() follows
// from the event loop, never from inside start() or cancel(), exactly once for
// every start() that returned true.
class HttpFetcher : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts a fetch. False, and nothing starts, while another one runs.
    virtual bool start(const FetchRequest &request) = 0;
    // Ends the fetch under way, which then finishes Cancelled; does nothing
    // when none runs.
    virtual void cancel() = 0;
    virtual bool isBusy() const = 0;

Q_SIGNALS:
    void finished(const FetchResult &result);

protected:
    // Answers a fetch without a transfer (a refusal, an unchanged file):
    // finished(result) follows from the event loop, and the fetcher counts as
    // busy until then.
    void finishLater(const FetchResult &result)
    {
        m_answerPending = true;
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                m_answerPending = false;
                Q_EMIT finished(result);
            },
            Qt::QueuedConnection);
    }
    bool answerPending() const { return m_answerPending; }

private:
    bool m_answerPending = false;
};
