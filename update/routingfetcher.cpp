#include "routingfetcher.h"

#include "core/listserver.h"

#include <QScopeGuard>

RoutingFetcher::RoutingFetcher(HttpFetcher &builtInList, HttpFetcher &web) : m_builtInList(builtInList), m_web(web) {}

FetchResult RoutingFetcher::fetch(const FetchRequest &request)
{
    if (m_running)
        return FetchResult::busy();
    m_running = ListServer::isBuiltIn(request.url) ? &m_builtInList : &m_web;
    const auto idle = qScopeGuard([this] { m_running = nullptr; });
    return m_running->fetch(request);
}

void RoutingFetcher::cancel()
{
    if (m_running)
        m_running->cancel();
}
