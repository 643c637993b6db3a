#include "listserver.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

QString ListServer::builtInAddress()
{
    return kScheme + QStringLiteral("://") + kHost;
}

bool ListServer::isBuiltIn(const QUrl &url)
{
    return url.isValid() && url.scheme().compare(kScheme, Qt::CaseInsensitive) == 0;
}

bool ListServer::isBuiltIn(const QString &url)
{
    return isBuiltIn(QUrl(url));
}

bool ListServer::isWebServer(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty() && !url.hasQuery() && !url.hasFragment();
}

bool ListServer::isListAddress(const QString &url)
{
    const QUrl parsed(url.trimmed());
    const QString scheme = parsed.scheme().toLower();
    if (scheme == kScheme)
        return true;
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !parsed.host().isEmpty();
}

QString ListServer::normalised(const QString &address)
{
    QString text = address.trimmed();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

QString ListServer::choose(const QString &fromOptions, const QString &fromIniFile, const QString &builtIn)
{
    for (const QString &candidate : {fromOptions, fromIniFile}) {
        if (isWebServer(candidate))
            return normalised(candidate);
    }
    return normalised(builtIn);
}

SiteFile findSiteFile(const QString &siteFolder, const QUrl &url)
{
    SiteFile result;
    if (!ListServer::isBuiltIn(url) || url.host().compare(ListServer::kHost, Qt::CaseInsensitive) != 0)
        return result;

    // The decoded path, so that "%2e%2e" is seen as the ".." it stands for.
    const QString path = url.path(QUrl::FullyDecoded);
    QStringList parts;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("..") || part.contains(QLatin1Char('\\')) || part.contains(QChar(0))) {
            result.kind = SiteFile::Kind::Refused;
            return result;
        }
        if (part != QLatin1String("."))
            parts.append(part);
    }

    const QString root = QFileInfo(siteFolder).canonicalFilePath();
    if (root.isEmpty())
        return result;
    QString candidate = root + QLatin1Char('/') + parts.join(QLatin1Char('/'));
    if (QFileInfo(candidate).isDir())
        candidate += QStringLiteral("/index.htm");
    const QFileInfo info(candidate);
    if (!info.exists())
        return result;
    // Symbolic links inside the folder are followed only as far as the folder reaches.
    const QString target = info.canonicalFilePath();
    if (!target.startsWith(root + QLatin1Char('/'))) {
        result.kind = SiteFile::Kind::Refused;
        return result;
    }
    if (!QFileInfo(target).isFile())
        return result;
    result.kind = SiteFile::Kind::Found;
    result.path = target;
    return result;
}
