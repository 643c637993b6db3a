#include "core/settingsstore.h"
#include "platform/webengineview.h"
#include "support/keyboardwalk.h"
#include "support/mainfakes.h"
#include "support/pageserver.h"
#include "support/printers.h"
#include "support/tempfolder.h"
#include "ui/mainwindow.h"

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QTest>

#include <functional>

// Chromium's drawing surface appears only with the first page; Tab still
// reaches the page between the tree and the list chooser (at its first link),
// walks the page's links and leaves it for the chooser, and Shift+Tab goes
// back the same way.
TEST(WebEngineKeyboard, TabReachesThePageInItsPlaceAndLeavesItForTheNextControl)
{
    TempFolder site;
    site.write(QStringLiteral("kestrelmoor/modlist/welcome.htm"),
               "<html><body><p>Start</p><a href='#one'>one</a> <a href='#two'>two</a></body></html>");
    PageServer server(site.path());
    TempFolder program;
    program.write(QStringLiteral("q2modlist.dat"), "[ValidHeader]\r\nMaps\r\n---\r\nMaps?Big maps?http://m/1\r\n");
    program.write(QStringLiteral("mods.dat"), quake2Catalogue(server.base()));

    MainFakes fakes;
    WebEngineViewFactory views;
    MainWindow w(fakes.context(program.path(), server.base(), QStringLiteral("http://site/"), views));
    w.Form_Load();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // QTest's QTRY macros report to QTest, not to GoogleTest: wait, then expect.
    constexpr int kWait = 30000;
    auto waitFor = [](const std::function<bool()> &condition) { return QTest::qWaitFor(condition, kWait); };
    ASSERT_TRUE(waitFor([&] { return server.requests().contains(QStringLiteral("/kestrelmoor/modlist/welcome.htm")); }));
    auto *prog = w.findChild<QProgressBar *>(QStringLiteral("prog"));
    ASSERT_TRUE(waitFor([&] { return !prog->isVisible() && w.web()->locationUrl().endsWith(QStringLiteral("welcome.htm")); }));

    const QStringList around = {QStringLiteral("tree"), QStringLiteral("web"), QStringLiteral("modc")};
    waitFor([&] { return tabChain(&w, QStringLiteral("tree")).mid(0, 3) == around; });
    EXPECT_EQ(tabChain(&w, QStringLiteral("tree")).mid(0, 3), around);

    auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    };
    auto focusReaches = [&](const char *control) {
        waitFor([control] { return focusedControl() == QLatin1String(control); });
        return focusedControl();
    };
    EXPECT_EQ(focusedControl(), QStringLiteral("tree"));
    press(Qt::Key_Tab);
    EXPECT_EQ(focusReaches("web"), QStringLiteral("web"));
    // From the first link to the second, then out of the page.
    QTest::qWait(300);
    press(Qt::Key_Tab);
    QTest::qWait(300);
    EXPECT_EQ(focusedControl(), QStringLiteral("web"));
    press(Qt::Key_Tab);
    EXPECT_EQ(focusReaches("modc"), QStringLiteral("modc"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusReaches("web"), QStringLiteral("web"));
    QTest::qWait(300);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::qWait(300);
    EXPECT_EQ(focusedControl(), QStringLiteral("web"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusReaches("tree"), QStringLiteral("tree"));
}
