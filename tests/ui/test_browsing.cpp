#include "support/mainfakes.h"
#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/faketray.h"
#include "support/fakewebview.h"
#include "support/tempfolder.h"
#include "support/wait.h"
#include "core/favourites.h"
#include "core/settingsstore.h"
#include "ui/mainwindow.h"
#include "ui/remotecontrol.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTreeView>

namespace {

class BrowsingTest : public ::testing::Test, protected MainFakes
{
protected:
    void SetUp() override
    {
        dir.write(QStringLiteral("q2modlist.dat"),
                  crlfLines({"[ValidHeader]", "Maps", "---", "Maps?Big maps?http://a/2"}));
        dir.write(QStringLiteral("mods.dat"), crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat",
                                                         "http://x/q2.zip", "q2modlist", "welcome.htm"}));
    }

    MainWindow &start()
    {
        window = std::make_unique<MainWindow>(context(dir.path(), QStringLiteral("http://srv"), QStringLiteral("http://site/")));
        window->Form_Load();
        QTest::qWait(20);
        return *window;
    }

    FakeWebView &web() { return *views.views.first(); }
    QAbstractButton *button(const char *name) { return window->findChild<QAbstractButton *>(QString::fromLatin1(name)); }
    QAction *menuEntry(const char *name) { return window->trayMenu()->findChild<QAction *>(QString::fromLatin1(name)); }

    TempFolder dir;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(BrowsingTest, EveryButtonHasItsTooltipAndPicture)
{
    start();
    const struct
    {
        const char *name;
        const char *tip;
        bool picture;
    } rows[] = {
        {"Command1", "Back", true},         {"Command2", "Forward", true},
        {"Command4", "Home", true},         {"Command5", "Refresh", true},
        {"Command7", "Stop", true},         {"Command3", "Update list", true},
        {"Command6", "Find mod", true},     {"Command8", "Configure favourites", true},
        {"info", "Show remote control", true}, {"options", "Options", true},
        {"addfav", "Add to favourites", true}, {"Command9", "Info", false},
        {"full", "Fullscreen mode", false},
    };
    for (const auto &row : rows) {
        QAbstractButton *b = button(row.name);
        ASSERT_NE(b, nullptr) << row.name;
        EXPECT_EQ(b->toolTip(), QString::fromLatin1(row.tip)) << row.name;
        if (row.picture) {
            EXPECT_FALSE(b->icon().isNull()) << row.name;
            EXPECT_FALSE(b->icon().pixmap(16, 16).isNull()) << row.name;
            EXPECT_TRUE(b->text().isEmpty()) << row.name;
        }
    }
    EXPECT_EQ(button("Command9")->text(), QStringLiteral("Info"));
    EXPECT_EQ(button("full")->text(), QStringLiteral("Full"));
}

TEST_F(BrowsingTest, NavigationButtonsAndKeysDriveTheView)
{
    MainWindow &w = start();
    const QString home = QStringLiteral("http://srv/kestrelmoor/modlist/welcome.htm");
    web().navigate(QStringLiteral("http://a/1"));
    web().navigate(QStringLiteral("http://a/2"));

    button("Command1")->click();
    EXPECT_EQ(web().locationUrl(), QStringLiteral("http://a/1"));
    button("Command2")->click();
    EXPECT_EQ(web().locationUrl(), QStringLiteral("http://a/2"));
    button("Command2")->click(); // nothing ahead: ignored
    EXPECT_EQ(web().locationUrl(), QStringLiteral("http://a/2"));

    QTest::keyClick(&w, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(web().locationUrl(), QStringLiteral("http://a/1"));
    QTest::keyClick(&w, Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(web().locationUrl(), QStringLiteral("http://a/2"));

    button("Command4")->click();
    EXPECT_EQ(web().navigations.last(), home) << "Home opens the start page";

    button("Command5")->click();
    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_EQ(web().refreshes, 2);
    button("Command7")->click();
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(web().stops, 2);

    QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
    auto *text1 = w.findChild<QLineEdit *>(QStringLiteral("Text1"));
    EXPECT_TRUE(text1->hasFocus());
    EXPECT_EQ(text1->selectedText(), text1->text());
}

TEST_F(BrowsingTest, KeysForFavouritesAndTheRemoteControl)
{
    MainWindow &w = start();
    auto *tree = w.treeView();
    tree->expandAll();
    tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(0, 0)));
    QTest::keyClick(tree, Qt::Key_Return);
    QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(favourites.count(), 1);
    EXPECT_EQ(favourites.row(0).name, QStringLiteral("Big maps"));
    EXPECT_EQ(favourites.row(0).url, QStringLiteral("http://a/2"));

    QTest::keyClick(&w, Qt::Key_B, Qt::ControlModifier);
    ASSERT_NE(w.remoteControl(), nullptr);
    EXPECT_TRUE(w.remoteControl()->isVisible());
}

TEST_F(BrowsingTest, MinimiseHidesToTheTrayAndTheIconBringsItBack)
{
    MainWindow &w = start();
    EXPECT_TRUE(tray.installed);
    EXPECT_EQ(tray.tip, QStringLiteral("Mod List"));

    w.showMaximized();
    w.showMinimized();
    WAIT_TRUE(!w.isVisible(), 5000);

    tray.click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());
    EXPECT_FALSE(w.isMaximized()) << "restoring always gives the normal state";

    w.showMinimized();
    WAIT_TRUE(!w.isVisible(), 5000);
    menuEntry("mshowml")->trigger();
    EXPECT_TRUE(w.isVisible());

    // The menu's entries, in order.
    QStringList captions;
    for (QAction *a : w.trayMenu()->actions())
        captions.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Show &Mod List"), QStringLiteral("&Show remote control"),
                                     QStringLiteral("-"), QStringLiteral("&Close")}));
}

TEST_F(BrowsingTest, WithoutANotificationAreaMinimisingDoesNotHide)
{
    tray.available = false;
    MainWindow &w = start();
    w.showMinimized();
    QTest::qWait(30);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());
}

TEST_F(BrowsingTest, CloseFromTheTrayMenuRemovesTheIcon)
{
    MainWindow &w = start();
    w.showMinimized();
    WAIT_TRUE(!w.isVisible(), 5000);
    menuEntry("mclose")->trigger();
    EXPECT_FALSE(tray.installed);
}
