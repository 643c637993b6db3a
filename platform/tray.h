#pragma once

#include <QIcon>
#include <QObject>

class QMenu;

// The icon in the desktop's notification area.
class Tray : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // False when the desktop has no notification area: a window hidden to the
    // tray could then never be brought back.
    virtual bool isAvailable() const = 0;
    // Shows the icon; a right click on it opens `menu`.
    virtual void install(const QIcon &icon, const QString &tip, QMenu *menu) = 0;
    virtual void remove() = 0;

Q_SIGNALS:
    // A left click or a double click on the icon.
    void restoreRequested();
};

class SystemTray final : public Tray
{
    Q_OBJECT

public:
    explicit SystemTray(QObject *parent = nullptr);
    ~SystemTray() override;

    bool isAvailable() const override;
    void install(const QIcon &icon, const QString &tip, QMenu *menu) override;
    void remove() override;

private:
    class QSystemTrayIcon *m_icon = nullptr;
};
