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
// https to http; a transfer that stalls is ended.
//
// While a fetch runs, a local event loop keeps painting, timers and sockets
// going but holds user input back. Code that runs inside that loop (a timer, the
// tray) and starts another fetch gets Busy at once.
class NetworkFetcher final : public HttpFetcher
{
public:
    struct Settings
    {
        std::chrono::milliseconds stallTimeout{30000};  // this long without a byte ends the transfer
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
