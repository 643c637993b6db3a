#include "core/favourites.h"
#include "core/settingsstore.h"
#include "support/mainfakes.h"
#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/faketray.h"
#include "support/fakewebview.h"
#include "support/keyboardwalk.h"
#include "support/printers.h"
#include "support/tempfolder.h"
#include "ui/mainwindow.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTreeView>

#include <algorithm>

namespace {

// Reading order: the browsing row, then the filter field and the tree beside the
// page, then the chooser and the row of buttons under the tree.
const QStringList kMainTabOrder = {
    QStringLiteral("Command1"), QStringLiteral("Command2"), QStringLiteral("Command4"), QStringLiteral("Command5"),
    QStringLiteral("Command7"), QStringLiteral("Text1"),    QStringLiteral("Command9"), QStringLiteral("full"),
    QStringLiteral("filter"),   QStringLiteral("tree"),     QStringLiteral("web"),      QStringLiteral("modc"),
    QStringLiteral("Command3"),
    QStringLiteral("Command6"), QStringLiteral("addfav"),   QStringLiteral("options"),  QStringLiteral("Command8"),
    QStringLiteral("info")};

class MainKeyboardTest : public ::testing::Test, protected MainFakes
{
protected:
    MainWindow &start()
    {
        dir.write(QStringLiteral("q2modlist.dat"),
                  crlfLines({"[ValidHeader]", "Maps", "---", "Maps?Big maps?http://a/2"}));
        dir.write(QStringLiteral("mods.dat"), crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat",
                                                         "http://x/q2.zip", "q2modlist", "welcome.htm"}));
        window = std::make_unique<MainWindow>(context(dir.path(), QStringLiteral("http://srv"), QStringLiteral("http://site/")));
        window->Form_Load();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }

    TempFolder dir;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MainKeyboardTest, TabFollowsTheReadingOrderFromTheTreeOn)
{
    MainWindow &w = start();
    // The tree has the focus at the start: the list is what the user came for.
    EXPECT_EQ(focusedControl(), QStringLiteral("tree"));
    EXPECT_EQ(tabChain(&w, kMainTabOrder.first()), kMainTabOrder);

    const int n = int(kMainTabOrder.size());
    EXPECT_EQ(tabbedThrough(&w, kMainTabOrder.first(), n), kMainTabOrder + QStringList{kMainTabOrder.first()});
    QStringList backwards = kMainTabOrder;
    std::reverse(backwards.begin(), backwards.end());
    EXPECT_EQ(tabbedThrough(&w, backwards.first(), n, true), backwards + QStringList{backwards.first()});
}

TEST_F(MainKeyboardTest, EveryControlHasANameForScreenReaders)
{
    MainWindow &w = start();
    EXPECT_EQ(unnamedControls(&w), QStringList());
    const struct
    {
        const char *control;
        const char *name;
        const char *label; // the label that a screen reader reads with it
    } rows[] = {
        {"tree", "Mods", ""},      {"modc", "Quake2", "Mod list:"}, {"Text1", "Address", ""},
        {"filter", "Filter mods", ""},
        {"web", "Web page", ""},   {"Command9", "Info", ""},        {"full", "Full", ""},
        {"info", "Show remote control", ""},
    };
    for (const auto &row : rows) {
        QWidget *control = w.findChild<QWidget *>(QString::fromLatin1(row.control));
        EXPECT_EQ(accessibleName(control), QString::fromLatin1(row.name)) << row.control;
        EXPECT_EQ(accessibleLabel(control), QString::fromLatin1(row.label)) << row.control;
    }
}

TEST_F(MainKeyboardTest, TreeSelectionTakesTheNewColoursWhenTheDesktopSwitchesScheme)
{
    MainWindow &w = start();
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(0x12, 0x60, 0x8a));
    dark.setColor(QPalette::HighlightedText, QColor(0xf9, 0xf9, 0xf9));
    // What reaches the main window when the application palette changes.
    w.setPalette(dark);
    const QPalette tree = w.treeView()->palette();
    // Kept also while another window has the focus, in the new colours.
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        EXPECT_EQ(tree.color(QPalette::Active, role), dark.color(QPalette::Active, role)) << role;
        EXPECT_EQ(tree.color(QPalette::Inactive, role), dark.color(QPalette::Active, role)) << role;
    }
}

// The main window's own keys (Escape stops the page) stay out of the windows
// that it opens: Escape in the find dialog closes the dialog and stops nothing.
TEST_F(MainKeyboardTest, EscapeInTheFindDialogClosesItAndStopsNothing)
{
    MainWindow &w = start();
    QTest::keyClick(w.treeView(), Qt::Key_F, Qt::ControlModifier);
    auto *find = w.findChild<QDialog *>(QStringLiteral("FindDialog"));
    ASSERT_NE(find, nullptr);
    QPointer<QDialog> open = find;
    // A tool window counts as active with its parent; the test needs it to be
    // the window that has the keys.
    QApplication::setActiveWindow(find);
    ASSERT_EQ(QApplication::activeWindow(), find);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(open.isNull() || !open->isVisible());
    EXPECT_EQ(views.views.first()->stops, 0);
}
