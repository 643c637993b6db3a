#include "core/favourites.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "support/mainfakes.h"
#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/faketray.h"
#include "support/fakewebview.h"
#include "support/tempfolder.h"
#include "ui/mainwindow.h"
#include "ui/remotecontrol.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace {

class FavouritesWiringTest : public ::testing::Test, protected MainFakes
{
protected:
    void SetUp() override
    {
        dir.write(QStringLiteral("defmodlist.dat"), crlfLines({"[ValidHeader]", "Master", "---", "Master?Master mod?http://m/1"}));
        dir.write(QStringLiteral("q2modlist.dat"),
                  crlfLines({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena pack?http://a/1"}));
        dir.write(QStringLiteral("mods.dat"),
                  crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "http://x/q2.zip", "q2modlist", "welcome.htm"}));
    }
    MainWindow &start()
    {
        window = std::make_unique<MainWindow>(
            context(dir.path(), QStringLiteral("http://127.0.0.1:9"), QStringLiteral("http://s/")));
        window->Form_Load();
        QTest::qWait(20);
        return *window;
    }
    void clickLink()
    {
        auto *tree = window->findChild<QTreeView *>(QStringLiteral("tree"));
        tree->expandAll();
        QCoreApplication::processEvents();
        const QModelIndex folder = tree->model()->index(0, 0);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(tree->model()->index(0, 0, folder)).center());
    }
    void press(const char *name) { window->findChild<QToolButton *>(QString::fromLatin1(name))->click(); }

    TempFolder dir;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(FavouritesWiringTest, AddShowPickAndSave)
{
    MainWindow &w = start();
    press("addfav");
    EXPECT_EQ(favourites.count(), 0) << "no node clicked yet";
    clickLink();
    press("addfav");
    press("addfav");
    EXPECT_EQ(favourites.names(), (QStringList{QStringLiteral("Arena pack"), QStringLiteral("Arena pack")}));

    press("info");
    RemoteControl *rc = w.remoteControl();
    ASSERT_TRUE(rc);
    auto *list = rc->findChild<QListWidget *>(QStringLiteral("List1"));
    EXPECT_EQ(list->count(), 2);
    w.showMinimized();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(views.views.first()->navigations.last(), QStringLiteral("http://a/1"));
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(w.isVisible());

    // The tray's entry shows the same window.
    rc->showMinimized();
    w.trayMenu()->findChild<QAction *>(QStringLiteral("mshowrc"))->trigger();
    EXPECT_EQ(w.remoteControl(), rc);
    EXPECT_FALSE(rc->isMinimized());

    w.close();
    EXPECT_EQ(dir.read(QStringLiteral("favs.dat")), "Arena pack\r\nhttp://a/1\r\nArena pack\r\nhttp://a/1\r\n");
}

TEST_F(FavouritesWiringTest, FullTableAndSurplusPairsAreSaidOnce)
{
    QByteArray many;
    for (int i = 0; i < 55; ++i)
        many += "F" + QByteArray::number(i) + "\r\nhttp://f\r\n";
    dir.write(QStringLiteral("favs.dat"), many);
    start();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(favourites.count(), 51);
    clickLink();
    press("addfav");
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown[1].text.contains(QStringLiteral("full")));
    window->close();
    EXPECT_EQ(dir.read(QStringLiteral("favs.dat.bak")), many);
}

TEST_F(FavouritesWiringTest, FailedSaveAsksAndCanKeepTheProgramOpen)
{
    QDir(dir.path()).mkdir(QStringLiteral("favs.dat"));
    MainWindow &w = start();
    messages.shown.clear();
    messages.answers = {QMessageBox::Retry, QMessageBox::Cancel};
    w.close();
    EXPECT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(w.isVisible()) << "Cancel keeps the program open";
    EXPECT_TRUE(tray.installed);
    messages.answers = {QMessageBox::Discard};
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(tray.installed);
}

TEST_F(FavouritesWiringTest, PickOpensInTheFullscreenWindowWhileItBrowses)
{
    MainWindow &w = start();
    favourites.add(QStringLiteral("Arena pack"), QStringLiteral("http://a/1"));
    w.findChild<QAbstractButton *>(QStringLiteral("full"))->click();
    ASSERT_TRUE(w.fullWindow());
    EXPECT_EQ(w.viewmode(), 2);
    const qsizetype mainBefore = views.views.first()->navigations.size();
    press("info");
    auto *list = w.remoteControl()->findChild<QListWidget *>(QStringLiteral("List1"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(views.views.last()->navigations.last(), QStringLiteral("http://a/1"));
    EXPECT_EQ(views.views.first()->navigations.size(), mainBefore) << "the main window is not touched";
    EXPECT_TRUE(w.fullWindow()->windowState().testFlag(Qt::WindowMaximized));
}
