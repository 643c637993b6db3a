#pragma once

#include <QString>

// Opens addresses outside the program, in the user's default web browser.
class Shell
{
public:
    virtual ~Shell() = default;
    // Returns false when no program could be started for the address.
    virtual bool openUrl(const QString &url) = 0;
};

class DesktopShell final : public Shell
{
public:
    bool openUrl(const QString &url) override;
};
