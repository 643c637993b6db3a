#pragma once

#include "update/httpfetcher.h"

#include <QHash>
#include <QList>
#include <QSaveFile>

#include <functional>
#include <utility>

// Answers fetches from queues set by the test, per address: each fetch takes the next answer, the last one is given
// again and again. A successful answer to a fetch with a file writes the file as a real fetch would; a failed one
// leaves it alone. whileFetching runs inside each fetch, where a progress dialog's Cancel would: cancel() there makes
// the fetch end Cancelled.
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

    FetchResult fetch(const FetchRequest &request) override
    {
        const QString url = request.url.toString();
        order.append(url);
        QList<Answer> &queue = m_answers[url];
        const Answer answer = queue.isEmpty() ? Answer::failed() : (queue.size() > 1 ? queue.takeFirst() : queue.first());
        m_fetching = true;
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
        QSaveFile file(request.saveTo);
        if (!request.saveTo.isEmpty() && (!file.open(QIODevice::WriteOnly) || file.write(answer.body) != answer.body.size() || !file.commit()))
            return ended(FetchResult::Status::WriteFailed, file.errorString());
        result.savedTo = request.saveTo;
        return ended(FetchResult::Status::Ok, {});
    }

    void cancel() override { m_cancelled = m_fetching; }

private:
    QHash<QString, QList<Answer>> m_answers;
    bool m_fetching = false;
    bool m_cancelled = false;
};
