#pragma once

#include "platform/shell.h"

#include <QStringList>

// Records what would have been opened.
class FakeShell final : public Shell
{
public:
    bool openUrl(const QString &url) override
    {
        opened.append(url);
        return succeed;
    }
    bool openFolder(const QString &path) override
    {
        folders.append(path);
        return succeed;
    }
    QStringList opened;
    QStringList folders;
    bool succeed = true;
};
