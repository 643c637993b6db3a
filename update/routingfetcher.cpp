#include "routingfetcher.h"

#include "core/listserver.h"

RoutingFetcher::RoutingFetcher(HttpFetcher &builtInList, HttpFetcher &web, QObject *parent)
    : HttpFetcher(parent), m_builtInList(builtInList), m_web(web)
{
    for (HttpFetcher *fetcher : {&m_builtInList, &m_web}) {
        connect(fetcher, &HttpFetcher::finished, this, [this, fetcher](const FetchResult &result) {
            if (m_running != fetcher)
                return;
            m_running = nullptr;
            Q_EMIT finished(result);
        });
    }
}

bool RoutingFetcher::start(const FetchRequest &request)
{
    if (m_running)
        return false;
    HttpFetcher *fetcher = ListServer::isBuiltIn(request.url) ? &m_builtInList : &m_web;
    if (!fetcher->start(request))
        return false;
    m_running = fetcher;
    return true;
}

void RoutingFetcher::cancel()
{
    if (m_running)
        m_running->cancel();
}
