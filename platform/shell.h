#pragma once

#include <QString>

// Opens things outside the program: web addresses in the user's default web
// browser, folders in the file manager.
class Shell
{
public:
    virtual ~Shell() = default;
    // Opens an http or https address. Returns false for any other kind of
    // address (a file, a custom scheme: the lists come from a server and must not
    // start other programs) and when no browser could be started.
    virtual bool openUrl(const QString &url) = 0;
    // Shows a local folder. Returns false when nothing could be started.
    virtual bool openFolder(const QString &path) = 0;

    // True for an address that openUrl may hand on.
    static bool isWebAddress(const QString &url);
};

class DesktopShell final : public Shell
{
public:
    bool openUrl(const QString &url) override;
    bool openFolder(const QString &path) override;
};
