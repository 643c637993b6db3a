#pragma once

#include "platform/shell.h"

#include <QStringList>

// Records the addresses handed to the default browser.
class FakeShell final : public Shell
{
public:
    bool openUrl(const QString &url) override
    {
        opened.append(url);
        return succeed;
    }
    QStringList opened;
    bool succeed = true;
};
