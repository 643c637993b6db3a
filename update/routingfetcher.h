#pragma once

#include "httpfetcher.h"

// Sends each fetch to the fetcher for its address: the built-in list's
// addresses to the site folder's fetcher, all others to the web's. The list
// update so runs the same steps against the built-in list as against a server
// on the web. One fetch at a time, as with any fetcher: a fetch started while
// one runs gets Busy.
class RoutingFetcher final : public HttpFetcher
{
    Q_OBJECT

public:
    RoutingFetcher(HttpFetcher &builtInList, HttpFetcher &web, QObject *parent = nullptr);

    bool start(const FetchRequest &request) override;
    void cancel() override;
    bool isBusy() const override { return m_running != nullptr; }

private:
    HttpFetcher &m_builtInList;
    HttpFetcher &m_web;
    HttpFetcher *m_running = nullptr;
};
