#include "core/favourites.h"
#include "core/modlistloader.h"
#include "core/modtreemodel.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/fakewebview.h"
#include "support/keyboardwalk.h"
#include "support/printers.h"
#include "support/tempfolder.h"
#include "ui/treeicons.h"
#include "ui/aboutdialog.h"
#include "ui/favouritesdialog.h"
#include "ui/remotecontrol.h"
#include "ui/finddialog.h"
#include "ui/fullscreenwindow.h"
#include "ui/optionsdialog.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <functional>

namespace {

// Stands in for the main window behind the fullscreen window.
class Host final : public FullScreenHost
{
public:
    QString addressText() const override { return QStringLiteral("http://mods.test/arena.htm"); }
    QString homeAddress() const override { return QStringLiteral("http://list.test/welcome.htm"); }
    void setViewmode(int) override {}
    void takeBackPage(const QString &url) override { takenBack.append(url); }
    QStringList takenBack;
};

// The remote control's ways into the program, recorded.
struct Browsing
{
    QStringList opened;
    int mainShown = 0;

    RemoteControlTargets targets()
    {
        return RemoteControlTargets{[] { return 1; }, [this](const QString &url) { opened.append(url); },
                                    [this](const QString &url) { opened.append(url); }, [this] { ++mainShown; }};
    }
};

// Everything the secondary windows need, and one window at a time.
// Public: the tables below reach the fixture through references and pointers.
class WindowKeyboardTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        favourites.replaceAll({Favourite{QStringLiteral("Arena pack"), QStringLiteral("http://a/1"), {}, {}},
                               Favourite{QStringLiteral("Big maps"), QStringLiteral("http://a/2"), {}, {}},
                               Favourite{QStringLiteral("Capture"), QStringLiteral("http://a/3"), {}, {}}});
        ModTree tree;
        parseModList(crlfLines({"[ValidHeader]", "Maps", "---", "Maps?Big maps?http://m/1"}), tree);
        model.setTree(std::move(tree));
        icons.setSourceModel(&model);
        treeView.setModel(&icons);
    }
    void TearDown() override { delete window.data(); }

    QWidget *openFav() { return new RemoteControl(favourites, settings, shell, messages, browsing.targets()); }
    QWidget *openConfigfav() { return new FavouritesDialog(favourites); }
    QWidget *openFull() { return new FullScreenWindow(host, views, settings); }
    QWidget *openFind() { return new FindDialog(&treeView, model, nullptr); }
    QWidget *openAbout() { return new AboutDialog(shell, messages, QStringLiteral("http://site.test")); }
    QWidget *openOptions() { return new OptionsDialog(settings, messages); }

    // Shows the window made by `make` as the active window.
    QWidget *show(QWidget *(WindowKeyboardTest::*make)())
    {
        delete window.data();
        window = (this->*make)();
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        return window;
    }
    template<typename T = QWidget> T *control(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    bool closed()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.isNull() || !window->isVisible();
    }
    void setOption(const QString &key, const char *value)
    {
        settings.setValue(Options::kApplication, Options::kSection, key, QString::fromLatin1(value));
    }

    Favourites favourites;
    MemorySettingsStore settings;
    FakeShell shell;
    FakeMessages messages;
    FakeWebViewFactory views;
    Host host;
    Browsing browsing;
    ModTreeModel model;
    TreeIconModel icons;
    QTreeView treeView;
    QPointer<QWidget> window;
};

QStringList names(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *name : list)
        out.append(QString::fromLatin1(name));
    return out;
}

} // namespace

// Where the window's design gives the tab order it is kept; the controls it
// leaves out follow in reading order.
TEST_F(WindowKeyboardTest, TabOrderPerWindowAndNamesForScreenReaders)
{
    struct Row
    {
        const char *window;
        QWidget *(WindowKeyboardTest::*open)();
        std::function<void(WindowKeyboardTest &)> before;
        QStringList order;
        const char *focusAtStart;
    };
    const auto nothing = [](WindowKeyboardTest &) {};
    const Row rows[] = {
        {"remote control", &WindowKeyboardTest::openFav, nothing,
         names({"List1", "Check1", "Image2", "Image3", "Image1"}), "List1"},
        {"configure favourites", &WindowKeyboardTest::openConfigfav, nothing,
         names({"List1", "Command1", "Command2", "Command3", "friendlyname", "url", "Command4", "Command5", "Command6"}),
         "List1"},
        {"fullscreen", &WindowKeyboardTest::openFull, nothing,
         names({"Text1", "Command1", "Command2", "Command4", "Command5", "Command7", "full", "web"}), "Text1"},
        {"options, remote control at start-up", &WindowKeyboardTest::openOptions,
         [](WindowKeyboardTest &t) { t.setOption(Options::kShowFav, "1"); },
         names({"Check1", "Check2", "Check3", "Command1", "Command2", "Check4", "Check5"}), "Check1"},
        {"options, its sub-option disabled", &WindowKeyboardTest::openOptions,
         [](WindowKeyboardTest &t) { t.setOption(Options::kShowFav, "0"); },
         names({"Check1", "Check2", "Check3", "Command1", "Command2", "Check5"}), "Check1"},
        {"find", &WindowKeyboardTest::openFind, nothing, names({"Text1", "Command1", "Command2"}), "Text1"},
        {"about", &WindowKeyboardTest::openAbout, nothing, names({"Label4", "Image2"}), "Image2"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.window);
        row.before(*this);
        QWidget *w = show(row.open);
        EXPECT_EQ(focusedControl(), QString::fromLatin1(row.focusAtStart));
        EXPECT_EQ(tabChain(w, row.order.first()), row.order);
        const int n = int(row.order.size());
        EXPECT_EQ(tabbedThrough(w, row.order.first(), n), row.order + QStringList{row.order.first()});
        QStringList backwards = row.order;
        std::reverse(backwards.begin(), backwards.end());
        EXPECT_EQ(tabbedThrough(w, backwards.first(), n, true), backwards + QStringList{backwards.first()});
        EXPECT_EQ(unnamedControls(w), QStringList());
    }
}

TEST_F(WindowKeyboardTest, PicturesAndFieldsAreNamedForScreenReaders)
{
    struct Row
    {
        QWidget *(WindowKeyboardTest::*open)();
        const char *control;
        const char *name;
    };
    const Row rows[] = {
        {&WindowKeyboardTest::openFav, "List1", "Favourites"},
        {&WindowKeyboardTest::openFav, "Image1", "Close"},
        {&WindowKeyboardTest::openFav, "Image2", "Minimize"},
        {&WindowKeyboardTest::openFav, "Image3", "Show Mod List"},
        {&WindowKeyboardTest::openConfigfav, "List1", "Favourites"},
        {&WindowKeyboardTest::openConfigfav, "Command1", "Move up"},
        {&WindowKeyboardTest::openConfigfav, "Command2", "Move down"},
        {&WindowKeyboardTest::openConfigfav, "friendlyname", "Name"},
        {&WindowKeyboardTest::openConfigfav, "url", "Url"},
        {&WindowKeyboardTest::openConfigfav, "Command6", "Delete current entry"},
        {&WindowKeyboardTest::openFull, "Command1", "Back"},
        {&WindowKeyboardTest::openFull, "Command7", "Stop"},
        {&WindowKeyboardTest::openFull, "Text1", "Address"},
        {&WindowKeyboardTest::openFull, "web", "Web page"},
        {&WindowKeyboardTest::openFind, "Text1", "Text to find:"},
        {&WindowKeyboardTest::openAbout, "Image1", "A kestrel over the moor"},
        {&WindowKeyboardTest::openAbout, "Label4", "http://site.test"},
        {&WindowKeyboardTest::openAbout, "Image2", "Return"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.control);
        show(row.open);
        QWidget *c = control(row.control);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(accessibleName(c), QString::fromLatin1(row.name));
    }
}

TEST_F(WindowKeyboardTest, AccessKeysPressTheirButtons)
{
    struct Row
    {
        const char *name;
        QWidget *(WindowKeyboardTest::*open)();
        Qt::Key key;
        std::function<bool(WindowKeyboardTest &)> done;
    };
    const Row rows[] = {
        {"configure: &Add new entry", &WindowKeyboardTest::openConfigfav, Qt::Key_A,
         [](WindowKeyboardTest &t) {
             auto *list = t.control<QListWidget>("List1");
             return list->count() == 4 && list->currentItem()->text() == QStringLiteral("New shortcut");
         }},
        {"configure: &Delete current entry", &WindowKeyboardTest::openConfigfav, Qt::Key_D,
         [](WindowKeyboardTest &t) { return t.control<QListWidget>("List1")->count() == 2; }},
        {"configure: &Ok", &WindowKeyboardTest::openConfigfav, Qt::Key_O,
         [](WindowKeyboardTest &t) {
             return t.closed() && static_cast<QDialog *>(t.window.data())->result() == QDialog::Accepted;
         }},
        {"configure: &Cancel", &WindowKeyboardTest::openConfigfav, Qt::Key_C,
         [](WindowKeyboardTest &t) {
             return t.closed() && static_cast<QDialog *>(t.window.data())->result() == QDialog::Rejected;
         }},
        {"options: &Ok", &WindowKeyboardTest::openOptions, Qt::Key_O,
         [](WindowKeyboardTest &t) {
             return t.closed() && t.settings.value(Options::kApplication, Options::kSection, Options::kDefBrw,
                                                        QStringLiteral("absent")) == QStringLiteral("0");
         }},
        {"options: &Cancel", &WindowKeyboardTest::openOptions, Qt::Key_C,
         [](WindowKeyboardTest &t) {
             return t.closed() && t.settings.value(Options::kApplication, Options::kSection, Options::kDefBrw,
                                                        QStringLiteral("absent")) == QStringLiteral("absent");
         }},
        {"find: &Find next", &WindowKeyboardTest::openFind, Qt::Key_F,
         [](WindowKeyboardTest &t) { return t.treeView.selectionModel()->hasSelection(); }},
        {"find: &Return", &WindowKeyboardTest::openFind, Qt::Key_R, [](WindowKeyboardTest &t) { return t.closed(); }},
        {"fullscreen: &Return", &WindowKeyboardTest::openFull, Qt::Key_R,
         [](WindowKeyboardTest &t) { return t.closed() && t.host.takenBack.size() == 1; }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        settings = MemorySettingsStore();
        treeView.selectionModel()->clear();
        host.takenBack.clear();
        QWidget *w = show(row.open);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, row.key, Qt::AltModifier);
        // An access key presses its button the way a click does, shown for a moment first.
        EXPECT_TRUE(QTest::qWaitFor([&] { return row.done(*this); }, 2000));
    }
}

// The list opens a favourite when its selection changes. By keys, walking
// through it opens nothing; Enter or Space opens the entry at the cursor.
TEST_F(WindowKeyboardTest, RemoteControlListAndPicturesWorkByKeys)
{
    QWidget *w = show(&WindowKeyboardTest::openFav);
    auto *list = control<QListWidget>("List1");
    ASSERT_TRUE(list->hasFocus());
    auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, modifiers);
    };

    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_TRUE(browsing.opened.isEmpty());

    key(Qt::Key_Return);
    EXPECT_EQ(browsing.opened, names({"http://a/3"}));
    EXPECT_EQ(list->selectedItems().value(0), list->item(2));
    // Enter on the entry that is selected already opens it again, as a click does.
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(browsing.opened, names({"http://a/3", "http://a/3"}));

    // Typing moves to the entry that starts with the letter, and opens nothing.
    key(Qt::Key_A);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(list->selectedItems().value(0), list->item(2));
    key(Qt::Key_Space);
    EXPECT_EQ(browsing.opened, names({"http://a/3", "http://a/3", "http://a/1"}));
    EXPECT_EQ(shell.opened, QStringList());

    // Tab reaches the pictures: Enter on "Show Mod List", Space on "Close".
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    EXPECT_EQ(focusedControl(), QStringLiteral("Image3"));
    key(Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([this] { return browsing.mainShown == 1; }, 2000));
    key(Qt::Key_Tab);
    EXPECT_EQ(focusedControl(), QStringLiteral("Image1"));
    key(Qt::Key_Space);
    EXPECT_TRUE(closed());
    EXPECT_EQ(w == window.data(), !window.isNull());
}

// The about box's link is one Tab stop: Shift+Tab from "Return" and Enter open
// the site, and the box stays open; Enter on "Return" closes it.
TEST_F(WindowKeyboardTest, AboutLinkOpensByKeyboard)
{
    show(&WindowKeyboardTest::openAbout);
    ASSERT_EQ(focusedControl(), QStringLiteral("Image2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(focusedControl(), QStringLiteral("Label4"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(shell.opened, names({"http://site.test/"}));
    EXPECT_FALSE(closed());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(focusedControl(), QStringLiteral("Image2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(closed());
    EXPECT_EQ(shell.opened.size(), 1);
}
