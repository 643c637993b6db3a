#include "sitescheme.h"

#include "core/listserver.h"

#include <QFile>
#include <QMimeDatabase>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace {

class SiteSchemeHandler final : public QWebEngineUrlSchemeHandler
{
public:
    SiteSchemeHandler(QString siteFolder, QObject *parent)
        : QWebEngineUrlSchemeHandler(parent), m_folder(std::move(siteFolder))
    {}

    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        if (job->requestMethod() != "GET") {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        const SiteFile site = findSiteFile(m_folder, job->requestUrl());
        if (site.kind == SiteFile::Kind::Refused) {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        auto *file = new QFile(site.path, job);
        if (site.kind == SiteFile::Kind::NotFound || !file->open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        static const QMimeDatabase mimeTypes;
        job->reply(mimeTypes.mimeTypeForFile(site.path, QMimeDatabase::MatchExtension).name().toLatin1(), file);
    }

private:
    QString m_folder;
};

} // namespace

void registerSiteScheme()
{
    QWebEngineUrlScheme scheme(ListServer::kScheme.toLatin1());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Secure: its pages are a secure context, as https pages are. Local: pages
    // from the web can neither embed nor open the program's own files.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

void serveSiteScheme(QWebEngineProfile *profile, const QString &siteFolder, QObject *owner)
{
    profile->installUrlSchemeHandler(ListServer::kScheme.toLatin1(), new SiteSchemeHandler(siteFolder, owner));
}
