#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// One HTTP GET: where from, where the body goes, how much of it is acceptable.
struct FetchRequest
{
    QUrl url;
    // The file that receives the body. It is replaced only by a complete body of a
    // successful answer, and is left as it was by every failure. Empty: the body
    // is kept in memory and handed back in FetchResult::body.
    QString saveTo;
    qint64 maxBytes = qint64(1) << 30;  // a longer body fails the fetch
};

struct FetchResult
{
    enum class Status {
        Ok,
        BadAddress,    // not an http or https address
        NetworkError,  // no answer: refused, unknown host, reset, too many redirects, https redirected to http
        HttpError,     // an answer other than 200
        TimedOut,      // the transfer stalled
        Incomplete,    // the body ended before its announced length
        TooLarge,      // the body is longer than maxBytes
        WriteFailed,   // the file could not be written
        Busy,          // a fetch of this fetcher is still going on
    };
    Status status = Status::NetworkError;
    int httpStatus = 0;       // the final answer's status code, 0 when none came
    QString errorText;        // what went wrong, for a person
    QString savedTo;          // the file that now holds the body, when one was asked for
    QByteArray body;          // the body, when no file was asked for
    qint64 bytesReceived = 0;

    bool ok() const { return status == Status::Ok; }
};

// Fetches one address at a time and returns when the transfer has ended: from
// the caller's view every fetch blocks.
class HttpFetcher
{
public:
    virtual ~HttpFetcher() = default;
    virtual FetchResult fetch(const FetchRequest &request) = 0;
};
