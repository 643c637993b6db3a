#include "shell.h"

#include <QDesktopServices>
#include <QUrl>

bool DesktopShell::openUrl(const QString &url)
{
    return QDesktopServices::openUrl(QUrl(url));
}
