#include "shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool Shell::isWebAddress(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    return parsed.isValid() && !parsed.host().isEmpty() &&
           (parsed.scheme() == QLatin1String("http") || parsed.scheme() == QLatin1String("https"));
}

bool DesktopShell::openUrl(const QString &url)
{
    return isWebAddress(url) && QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
}

bool DesktopShell::openFolder(const QString &path)
{
    return QFileInfo(path).isDir() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
