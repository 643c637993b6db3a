#pragma once

#include "core/favourites.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "fakefetcher.h"
#include "fakes.h"
#include "tempfolder.h"
#include "ui/mainwindow.h"
#include "ui/remotecontrol.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QListWidget>
#include <QTest>
#include <QTreeView>

// The catalogue mods.dat with the Quake 2 and the Quake 3 list, archives on `listServer`.
inline QByteArray twoListCatalogue(const QString &listServer)
{
    const QByteArray archives = listServer.toUtf8() + "/kestrelmoor/modlist/";
    return "[ValidHeader]\r\nQuake2\r\nq2modlist.dat\r\n" + archives + "q2modlist.zip\r\nq2modlist\r\nwelcome.htm\r\n"
           "Quake3\r\nq3modlist.dat\r\n" + archives + "q3modlist.zip\r\nq3modlist\r\nq3start.htm\r\n";
}

// The main window over a scratch program folder, with every adapter a fake. Quake 2 is the list shown first: Weapons
// (Arena One, Railgun Café), Maps (Big Arena, Q2DM1 remake) and an empty folder; Quake 3 is the second list.
class MainWindowTest : public ::testing::Test
{
protected:
    static inline const QString kServer = QStringLiteral("http://127.0.0.1:9");
    static inline const QString kSite = QStringLiteral("http://site.test/");
    static inline const QString kHome = kServer + QStringLiteral("/kestrelmoor/modlist/welcome.htm");

    void SetUp() override
    {
        dir.write(QStringLiteral("defmodlist.dat"), crlfLines({"[ValidHeader]", "Master", "---", "Master?Master mod?http://m/0"}));
        dir.write(QStringLiteral("q2modlist.dat"),
                  crlfLines({"[ValidHeader]", "Weapons", "Maps", "Empty", "---", "Weapons?Arena One?http://w/1",
                             "Maps?Big Arena?http://m/1", "Weapons?Railgun Caf\xC3\xA9?http://w/2", "Maps?Q2DM1 remake?http://m/2"}));
        dir.write(QStringLiteral("q3modlist.dat"), crlfLines({"[ValidHeader]", "Arenas", "Other", "---",
                                                              "Arenas?Arena of Q3?http://q3/1", "Other?Defrag?http://q3/2"}));
        dir.write(QStringLiteral("mods.dat"), twoListCatalogue(kServer));
    }

    // Makes and starts the window as the program does, and lets the start-up options run: they follow once the window
    // is exposed.
    MainWindow &start(WebViewFactory &webViews, const QString &listServer = kServer, const QString &folder = {})
    {
        window = std::make_unique<MainWindow>(MainContext{folder.isEmpty() ? dir.path() : folder, listServer, kSite, &settings, &messages, &webViews,
                                                          &shell, &tray, &favourites, &fetcher});
        window->start();
        EXPECT_TRUE(window->isMinimized() || QTest::qWaitForWindowExposed(window.get()));
        QCoreApplication::processEvents();
        if (!window->isMinimized()) {
            window->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        }
        return *window;
    }
    MainWindow &start() { return start(views); }

    void setOption(const QString &key, const char *value)
    {
        settings.setValue(Options::kApplication, Options::kSection, key, QString::fromLatin1(value));
    }
    FakeWebView &web() const { return *views.views.first(); }
    template<typename T = QWidget> T *control(const char *name) const { return window->findChild<T *>(QString::fromLatin1(name)); }
    void click(const char *button) const { control<QAbstractButton>(button)->click(); }
    QTreeView *tree() const { return window->treeView(); }

    // The row of the tree view that shows the link named `text`.
    QModelIndex linkRow(const QString &text) const
    {
        const QAbstractItemModel *m = tree()->model();
        return m->match(m->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    // Shows the remote control and clicks its first favourite.
    void pickFavourite() const
    {
        click("remoteControlButton");
        auto *list = window->remoteControl()->findChild<QListWidget *>(QStringLiteral("favouritesList"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    }
    void clickRow(const QModelIndex &index) const
    {
        tree()->expand(index.parent());
        tree()->scrollTo(index);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualRect(index).center());
    }

    TempFolder dir;
    MemorySettingsStore settings;
    FakeMessages messages;
    FakeWebViewFactory views;
    FakeShell shell;
    FakeTray tray;
    Favourites favourites;
    FakeFetcher fetcher;
    std::unique_ptr<MainWindow> window;
};
