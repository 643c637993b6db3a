#pragma once

#include "httpfetcher.h"

#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;

// Fetches over HTTP and HTTPS with Qt's network access. The body streams to
// disk through a QSaveFile (or into memory, capped), and counts only when the
// final answer was 200, no error came and, when a length was announced, exactly
// that many bytes arrived. Redirects are followed up to a limit and never from
// https to http. A transfer ends when it stalls, and also when it trickles: the
// bytes of any window of rateWindow must come to minBytesPerSecond on average,
// so that a server that drips a byte now and then cannot hold it for hours.
//
// While a fetch runs, a local event loop keeps painting, timers, sockets and
// user input going, so that a progress dialog's Cancel works: a caller that
// must keep the rest of its windows from input shows a modal dialog. Code that
// runs inside that loop (a timer, the tray) and starts another fetch gets Busy
// at once.
class NetworkFetcher final : public HttpFetcher
{
public:
    struct Settings
    {
        std::chrono::milliseconds stallTimeout{30000};  // this long without a byte ends the transfer
        std::chrono::milliseconds rateWindow{30000};
        qint64 minBytesPerSecond = 1024;
        int maxRedirects = 10;
        qint64 readBufferBytes = 256 * 1024;  // what Qt may hold that we have not read yet
    };

    NetworkFetcher();
    explicit NetworkFetcher(Settings settings);
    ~NetworkFetcher() override;

    FetchResult fetch(const FetchRequest &request) override;
    void cancel() override;

private:
    Settings m_settings;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    bool m_busy = false;
    // Ends the transfer under way; empty while none runs.
    std::function<void()> m_cancel;
};
