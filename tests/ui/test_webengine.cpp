#include "core/settingsstore.h"
#include "platform/webengineview.h"
#include "support/mainfakes.h"
#include "support/pageserver.h"
#include "support/tempfolder.h"
#include "support/wait.h"
#include "ui/mainwindow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTreeView>

// The main window with the real Chromium view against pages on a local server.
TEST(WebEngineBrowsing, StartPageLinksHistoryAndAddressField)
{
    TempFolder site;
    site.write(QStringLiteral("kestrelmoor/modlist/welcome.htm"), "<html><title>Welcome</title><body>Start</body></html>");
    site.write(QStringLiteral("kestrelmoor/modlist/mods/a.htm"), "<html><title>Arena</title><body>Arena</body></html>");
    // A page whose only link asks for a new window.
    site.write(QStringLiteral("kestrelmoor/modlist/mods/blank.htm"),
               "<html><body style='margin:0'><a href='a.htm?new' target='_blank' "
               "style='display:block;width:100vw;height:100vh'>open</a></body></html>");
    PageServer server(site.path());
    const QString modlist = server.base() + QStringLiteral("/kestrelmoor/modlist/");

    TempFolder program;
    program.write(QStringLiteral("q2modlist.dat"),
                  "[ValidHeader]\r\nDeathmatch\r\n---\r\nDeathmatch?Arena pack?" + modlist.toUtf8() + "mods/a.htm\r\n");
    program.write(QStringLiteral("mods.dat"), quake2Catalogue(server.base()));

    MainFakes fakes;
    WebEngineViewFactory views;
    MainWindow w(fakes.context(program.path(), server.base(), QStringLiteral("http://site/"), views));
    w.Form_Load();

    auto *text1 = w.findChild<QLineEdit *>(QStringLiteral("Text1"));
    auto *prog = w.findChild<QProgressBar *>(QStringLiteral("prog"));
    const QString home = modlist + QStringLiteral("welcome.htm");
    const QString arena = modlist + QStringLiteral("mods/a.htm");
    constexpr int kWait = 30000;

    // The start page loads; when it is done the bar is gone and the field shows it.
    WAIT_TRUE(server.requests().contains(QStringLiteral("/kestrelmoor/modlist/welcome.htm")), kWait);
    WAIT_EQ(w.web()->locationUrl(), home, kWait);
    WAIT_TRUE(!prog->isVisible(), kWait);
    WAIT_EQ(text1->text(), home, kWait);
    EXPECT_EQ(server.requests().count(QStringLiteral("/kestrelmoor/modlist/welcome.htm")), 1);

    // A click on a link node opens its page.
    auto *tree = w.treeView();
    tree->expandAll();
    const QModelIndex link = tree->model()->index(0, 0, tree->model()->index(0, 0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(link).center());
    WAIT_TRUE(server.requests().contains(QStringLiteral("/kestrelmoor/modlist/mods/a.htm")), kWait);
    WAIT_EQ(text1->text(), arena, kWait);

    // Back, Forward and Home.
    w.findChild<QAbstractButton *>(QStringLiteral("Command1"))->click();
    WAIT_EQ(text1->text(), home, kWait);
    w.findChild<QAbstractButton *>(QStringLiteral("Command2"))->click();
    WAIT_EQ(text1->text(), arena, kWait);
    w.findChild<QAbstractButton *>(QStringLiteral("Command4"))->click();
    WAIT_EQ(text1->text(), home, kWait);
    WAIT_TRUE(!prog->isVisible(), kWait);

    // An address typed into the field, with Enter.
    text1->setText(arena);
    QTest::keyClick(text1, Qt::Key_Return);
    WAIT_EQ(w.web()->locationUrl(), arena, kWait);
    EXPECT_TRUE(fakes.messages.shown.isEmpty());

    // A link that wants a new window opens in the same view.
    w.navigateMain(modlist + QStringLiteral("mods/blank.htm"));
    WAIT_EQ(text1->text(), modlist + QStringLiteral("mods/blank.htm"), kWait);
    WAIT_TRUE(!prog->isVisible(), kWait);
    QWidget *surface = w.web()->focusProxy() ? w.web()->focusProxy()->focusProxy() : nullptr;
    ASSERT_NE(surface, nullptr);
    QTest::qWait(200);
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->rect().center());
    WAIT_EQ(text1->text(), arena + QStringLiteral("?new"), kWait);

    // An address that cannot be loaded shows the engine's error page, and the
    // field keeps the address.
    text1->setText(QStringLiteral("http://127.0.0.1:1/nothing-here"));
    QTest::keyClick(text1, Qt::Key_Return);
    WAIT_TRUE(!prog->isVisible() && text1->text().contains(QStringLiteral("nothing-here")), kWait);
}
