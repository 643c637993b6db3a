#include "tray.h"

#include <QMenu>
#include <QSystemTrayIcon>

SystemTray::SystemTray(QObject *parent) : Tray(parent) {}

SystemTray::~SystemTray()
{
    remove();
}

bool SystemTray::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTray::install(const QIcon &icon, const QString &tip, QMenu *menu)
{
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        // Only clicks on the icon itself reach here.
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                Q_EMIT restoreRequested();
        });
    }
    m_icon->setIcon(icon);
    m_icon->setToolTip(tip);
    m_icon->setContextMenu(menu);
    m_icon->show();
}

void SystemTray::remove()
{
    if (m_icon)
        m_icon->hide();
}
