#pragma once

#include "update/httpfetcher.h"

#include <QHash>
#include <QList>
#include <QTest>

#include "core/checkedfile.h"

#include <functional>
#include <optional>
#include <utility>

// Answers fetches from queues set by the test, per address: each fetch takes the next answer, the last one is given
// again and again, from the event loop as a real fetch would. A successful answer to a fetch with a file writes the file
// as a real fetch would; a failed one leaves it alone. whileFetching runs while the fetch is under way, where a progress
// dialog's Cancel would: cancel() there makes the fetch end Cancelled.
class FakeFetcher final : public HttpFetcher
{
public:
    struct Answer
    {
        bool ok = true;
        QByteArray body;
        static Answer good(QByteArray body) { return {true, std::move(body)}; }
        static Answer failed() { return {false, {}}; }
    };

    void answer(const QString &url, QList<Answer> answers) { m_answers.insert(url, std::move(answers)); }
    QStringList order;  // addresses in the order they were fetched
    std::function<void(const QString &url)> whileFetching;

    bool start(const FetchRequest &request) override
    {
        if (m_fetching)
            return false;
        m_fetching = true;
        order.append(request.url.toString());
        QMetaObject::invokeMethod(this, [this, request] { Q_EMIT finished(answerTo(request)); }, Qt::QueuedConnection);
        return true;
    }
    void cancel() override { m_cancelled = m_fetching; }
    bool isBusy() const override { return m_fetching; }

private:
    FetchResult answerTo(const FetchRequest &request)
    {
        const QString url = request.url.toString();
        QList<Answer> &queue = m_answers[url];
        const Answer answer = queue.isEmpty() ? Answer::failed() : (queue.size() > 1 ? queue.takeFirst() : queue.first());
        if (request.progress)
            request.progress(0, answer.body.size());
        if (whileFetching)
            whileFetching(url);
        m_fetching = false;
        FetchResult result;
        auto ended = [&result](FetchResult::Status status, const QString &errorText) {
            result.status = status;
            result.errorText = errorText;
            return result;
        };
        if (std::exchange(m_cancelled, false))
            return ended(FetchResult::Status::Cancelled, QStringLiteral("cancelled"));
        if (!answer.ok)
            return ended(FetchResult::Status::NetworkError, QStringLiteral("no answer"));
        result.httpStatus = 200;
        result.bytesReceived = answer.body.size();
        result.body = request.saveTo.isEmpty() ? answer.body : QByteArray();
        QString error;
        if (!request.saveTo.isEmpty() && !replaceFileContents(request.saveTo, answer.body, &error))
            return ended(FetchResult::Status::WriteFailed, error);
        result.savedTo = request.saveTo;
        return ended(FetchResult::Status::Ok, {});
    }

    QHash<QString, QList<Answer>> m_answers;
    bool m_fetching = false;
    bool m_cancelled = false;
};

// Runs one fetch to its end; Busy when the fetcher would not start it.
inline FetchResult fetchAndWait(HttpFetcher &fetcher, const FetchRequest &request)
{
    std::optional<FetchResult> result;
    const QMetaObject::Connection connection =
        QObject::connect(&fetcher, &HttpFetcher::finished, [&result](const FetchResult &answer) { result = answer; });
    if (!fetcher.start(request)) {
        QObject::disconnect(connection);
        return FetchResult::failure(FetchResult::Status::Busy, QStringLiteral("another transfer is still going on"));
    }
    QTest::qWaitFor([&] { return result.has_value(); }, 300000);
    QObject::disconnect(connection);
    return result.value_or(FetchResult::failure(FetchResult::Status::TimedOut, QStringLiteral("no end")));
}
