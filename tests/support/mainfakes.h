#pragma once

#include "core/favourites.h"
#include "core/settingsstore.h"
#include "fakemessages.h"
#include "fakeshell.h"
#include "faketray.h"
#include "fakewebview.h"
#include "ui/main/frm_main.h"

// Everything a main window is given, as fakes, for a program folder and servers.
struct MainFakes
{
    MainContext context(const QString &programFolder, const QString &listServer, const QString &site)
    {
        return MainContext{programFolder, listServer, site, &settings, &messages, &views, &shell, &tray, &favourites};
    }

    MemorySettingsStore settings;
    FakeMessages messages;
    FakeWebViewFactory views;
    FakeShell shell;
    FakeTray tray;
    Favourites favourites;
};
