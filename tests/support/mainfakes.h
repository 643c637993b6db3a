#pragma once

#include "core/favourites.h"
#include "core/settingsstore.h"
#include "fakemessages.h"
#include "fakeshell.h"
#include "faketray.h"
#include "fakewebview.h"
#include "ui/mainwindow.h"

// Everything a main window is given, as fakes, for a program folder and servers.
struct MainFakes
{
    MainContext context(const QString &programFolder, const QString &listServer, const QString &site)
    {
        return context(programFolder, listServer, site, views);
    }
    // The same with other web views (the real ones, for tests against a server).
    MainContext context(const QString &programFolder, const QString &listServer, const QString &site,
                        WebViewFactory &webViews)
    {
        return MainContext{programFolder, listServer, site, &settings, &messages, &webViews, &shell, &tray, &favourites};
    }

    MemorySettingsStore settings;
    FakeMessages messages;
    FakeWebViewFactory views;
    FakeShell shell;
    FakeTray tray;
    Favourites favourites;
};

// A catalogue with the one Quake 2 list, its archive on `listServer`.
inline QByteArray quake2Catalogue(const QString &listServer)
{
    return "[ValidHeader]\r\nQuake2\r\nq2modlist.dat\r\n" + listServer.toUtf8() +
           "/kestrelmoor/modlist/q2modlist.zip\r\nq2modlist\r\nwelcome.htm\r\n";
}
