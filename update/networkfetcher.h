#pragma once

#include "httpfetcher.h"

#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;

// Fetches over HTTP and HTTPS with Qt's network access. The body streams to
// disk through a CheckedFileWriter (or into memory, capped), and counts only when the
// final answer was 200, no error came and, when a length was announced, exactly
// that many bytes arrived. Redirects are followed up to a limit and never from
// https to http. A transfer ends when it stalls, and also when it trickles: the
// bytes of any window of rateWindow must come to minBytesPerSecond on average,
// so that a server that drips a byte now and then cannot hold it for hours.
//
// The transfer runs from the event loop and reports by finished(); cancel()
// aborts it.
class NetworkFetcher final : public HttpFetcher
{
    Q_OBJECT

public:
    struct Settings
    {
        std::chrono::milliseconds stallTimeout{30000}; // this long without a byte ends the transfer
        std::chrono::milliseconds rateWindow{30000};
        qint64 minBytesPerSecond = 1024;
        int maxRedirects = 10;
        qint64 readBufferBytes = 256 * 1024; // what Qt may hold that we have not read yet
    };

    explicit NetworkFetcher(QObject *parent = nullptr);
    explicit NetworkFetcher(Settings settings, QObject *parent = nullptr);
    ~NetworkFetcher() override;

    bool start(const FetchRequest &request) override;
    void cancel() override;
    bool isBusy() const override;

private:
    struct Running;
    void end();

    Settings m_settings;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::unique_ptr<Running> m_running;
};
