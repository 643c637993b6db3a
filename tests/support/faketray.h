#pragma once

#include "platform/tray.h"

#include <QMenu>
#include <QPointer>

// A notification area that a test clicks by calling click().
class FakeTray final : public Tray
{
public:
    bool isAvailable() const override { return available; }
    void install(const QIcon &, const QString &tip, QMenu *m) override
    {
        installed = true;
        this->tip = tip;
        menu = m;
    }
    void remove() override { installed = false; }
    void click() { Q_EMIT restoreRequested(); }

    bool available = true;
    bool installed = false;
    QString tip;
    QPointer<QMenu> menu;
};
