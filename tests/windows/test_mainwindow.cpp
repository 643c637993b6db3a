#include "core/endsignals.h"
#include "core/modlistloader.h"
#include "core/modtreefilter.h"
#include "mods/gamesetup.h"
#include "mods/modinstaller.h"
#include "support/mainwindowtest.h"
#include "support/smalldisk.h"
#include "ui/finddialog.h"
#include "ui/fullscreenwindow.h"
#include "ui/modtreeview.h"
#include "ui/designunits.h"
#include "ui/treeicons.h"
#include "update/zipbuilder.h"

#include <QAction>
#include <QDate>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTextDocument>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// The tree as the view shows it: "Folder[link, link]", a "+" after an open folder's name.
QString shown(const QTreeView *tree)
{
    const QAbstractItemModel *m = tree->model();
    QStringList folders;
    for (int f = 0; f < m->rowCount(); ++f) {
        const QModelIndex folder = m->index(f, 0);
        QStringList links;
        for (int l = 0; l < m->rowCount(folder); ++l)
            links.append(m->index(l, 0, folder).data().toString());
        folders.append(folder.data().toString() + (tree->isExpanded(folder) ? "+["_L1 : "["_L1) + links.join(", "_L1) + u']');
    }
    return folders.join(u' ');
}

} // namespace

// Whatever it finds, start-up builds the tree once, opens the start page once, says once what it could not read, and
// only reads the settings.
struct StartUpRow
{
    const char *name;
    std::vector<std::pair<QString, QByteArray>> files; // written before the start; bytes "-": removed
    std::vector<std::pair<QString, const char *>> options;
    QStringList said;
    const char *firstFolder, *windows;
};

void PrintTo(const StartUpRow &row, std::ostream *os) { *os << row.name; }

const QByteArray kBadList = crlfLines({"[VALIDHEADER]", "X"});
const QString kSettingsError = u"Error while loading settings. Click the 'Update list' button to solve the problem."_s;
const QString kMasterError = u"Error while loading Master List. Click the 'Update list' button to solve the problem."_s;

class StartUp : public MainWindowTest, public ::testing::WithParamInterface<StartUpRow> {};

TEST_P(StartUp, ReadsTheFilesOnceAndAppliesTheOptions)
{
    const StartUpRow &row = GetParam();
    for (const auto &[name, bytes] : row.files)
        bytes == "-" ? void(QFile::remove(dir.file(name))) : dir.write(name, bytes);
    for (const auto &[key, value] : row.options)
        setOption(key, value);
    const int stored = settings.size();
    MainWindow &w = start();
    QStringList said, windows;
    for (const FakeMessages::Shown &message : messages.shown)
        said.append(message.text.left(row.said.value(said.size()).size()));
    EXPECT_EQ(said, row.said);
    EXPECT_EQ(std::pair(w.treeModel().generation(), w.treeModel().tree().text(0)),
              std::pair(quint64(1), QString::fromLatin1(row.firstFolder)));
    EXPECT_EQ(w.currentList().archiveUrl, kServer + "/kestrelmoor/modlist/q2modlist.zip"_L1);
    for (FakeWebView *view : views.views)
        EXPECT_EQ(view->navigations, QStringList{kHome});
    for (const auto &[on, name] : {std::pair{w.isMaximized(), "maximized"}, {w.isMinimized(), "minimized"},
                                   {w.remoteControl() && w.remoteControl()->isVisible(), "remote"},
                                   {w.fullScreenWindow() != nullptr, "fullscreen"}})
        if (on)
            windows.append(QString::fromLatin1(name));
    EXPECT_EQ(windows.join(u' '), QString::fromLatin1(row.windows));
    EXPECT_EQ(settings.size(), stored);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StartUp,
    ::testing::Values(
        StartUpRow{"all there", {}, {}, {}, "Weapons", ""},
        StartUpRow{"catalogue missing: the built-in list", {{"mods.dat", "-"}}, {}, {kSettingsError}, "Weapons", ""},
        StartUpRow{"list without its header", {{"q2modlist.dat", kBadList}}, {}, {kMasterError}, "Master", ""},
        StartUpRow{"list missing: the master list, silently", {{"q2modlist.dat", "-"}}, {}, {}, "Master", ""},
        StartUpRow{"both, in the order read", {{"mods.dat", ""}, {"q2modlist.dat", kBadList}}, {}, {kSettingsError, kMasterError},
                   "Master", ""},
        StartUpRow{"master list bad too: the tree empty", {{"q2modlist.dat", kBadList}, {"defmodlist.dat", kBadList}}, {},
                   {kMasterError}, "", ""},
        StartUpRow{"more favourites than the table holds", {{"favs.dat", favouritesFile(55)}}, {}, {u"The favourites file"_s},
                   "Weapons", ""},
        StartUpRow{"only the remote control, after maximised", {},
                   {{Options::kStartMaximized, "1"}, {Options::kRemoteControlOnly, "1"}, {Options::kShowRemoteControl, "1"}}, {},
                   "Weapons", "maximized minimized remote"},
        StartUpRow{"switches on at 1 only", {}, {{Options::kStartMaximized, "2"}, {Options::kRemoteControlOnly, "yes"}}, {},
                   "Weapons", ""},
        StartUpRow{"fullscreen, at the start page", {}, {{Options::kStartFullScreen, "1"}}, {}, "Weapons", "fullscreen"}));

// Hidden and brought back by a tray click: the end-to-end journey. Here: without a tray, a window that could not be
// brought back; the normal state after a maximised one; the tray menu's entry.
TEST_F(MainWindowTest, MinimisingHidesToTheTrayWhereThereIsOne)
{
    for (const bool available : {false, true}) {
        tray.available = available;
        MainWindow &w = start();
        w.showMaximized();
        w.showMinimized();
        // Hidden from the event loop, once the minimise has gone through; with no tray it never is.
        EXPECT_EQ(QTest::qWaitFor([&] { return !w.isVisible(); }, available ? 5000 : 0), available) << available;
        QCoreApplication::processEvents();
        EXPECT_EQ(w.isVisible(), !available) << available;
        available ? w.trayMenu()->findChild<QAction *>(u"showMainWindowAction"_s)->trigger() : tray.click();
        EXPECT_TRUE(w.isVisible() && !w.isMinimized() && !w.isMaximized()) << "back in the normal state";
    }
}

// A click or Enter on a link opens its page and makes it the node that "Add to favourites" takes; a folder opens
// nothing, and a rebuilt tree has no such node.
TEST_F(MainWindowTest, LinksOpenAndAreAddedToFavouritesUpToAFullTableSavedOnClose)
{
    const QByteArray fifty = favouritesFile(50), full = fifty + "Big Arena\r\nhttp://m/1\r\n";
    dir.write(u"favs.dat"_s, fifty);
    MainWindow &w = start();
    clickRow(tree()->model()->index(0, 0));
    click("addFavouriteButton");
    EXPECT_EQ(web().navigations.size(), 1);
    EXPECT_EQ(favourites.count(), 50) << "a folder is no favourite";
    clickRow(linkRow(u"Big Arena"_s));
    EXPECT_EQ(web().navigations.last(), u"http://m/1"_s);
    click("addFavouriteButton");
    EXPECT_EQ(w.statusBar()->currentMessage(), u"Added to favourites: Big Arena"_s);
    EXPECT_EQ(dir.read(u"favs.dat"_s), full) << "written at once";
    const QModelIndex maps = linkRow(u"Big Arena"_s).parent();
    tree()->collapse(maps);
    tree()->setCurrentIndex(maps);
    QTest::keyClick(tree(), Qt::Key_Return);
    EXPECT_TRUE(tree()->isExpanded(maps)) << "Enter opens a folder";
    tree()->setCurrentIndex(linkRow(u"Arena One"_s));
    QTest::keyClick(tree(), Qt::Key_Return);
    EXPECT_EQ(web().navigations.last(), u"http://w/1"_s);
    EXPECT_TRUE(messages.shown.isEmpty());
    QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].text.contains(u"full"_s));
    w.rebuildTree(dir.file(u"q2modlist.dat"_s));
    QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(messages.shown.size(), 1) << "a rebuilt tree forgets the node";
    QFile::remove(dir.file(u"favs.dat"_s));
    w.close();
    EXPECT_EQ(dir.read(u"favs.dat"_s), full) << "written again at Close";
}

// The tree selects the link of the page in the view, however the view got there, and that selection loads nothing.
TEST_F(MainWindowTest, TheTreeSelectsTheLinkOfThePageShown)
{
    start();
    favourites.add(u"Remake"_s, u"http://m/2/"_s);
    clickRow(linkRow(u"Big Arena"_s));
    auto *address = control<QLineEdit>("addressField");
    const struct { const char *step; std::function<void()> act; const char *selected; } steps[] = {
        {"a typed address", [&] { address->setText(u"http://w/1"_s), QTest::keyClick(address, Qt::Key_Return); }, "Arena One"},
        {"Back", [&] { click("backButton"); }, "Big Arena"},
        {"Forward", [&] { click("forwardButton"); }, "Arena One"},
        {"Home", [&] { click("homeButton"); }, ""},
        {"a favourite", [&] { pickFavourite(); }, "Q2DM1 remake"},
    };
    for (const auto &step : steps) {
        step.act();
        const QModelIndexList selected = tree()->selectionModel()->selectedIndexes();
        EXPECT_EQ(selected.isEmpty() ? QString() : selected.first().data().toString(), QString::fromLatin1(step.selected)) << step.step;
    }
    EXPECT_EQ(web().navigations, (QStringList{kHome, u"http://m/1"_s, u"http://w/1"_s, kHome, u"http://m/2/"_s}));
}

TEST_F(MainWindowTest, FavouritesThatCannotBeSavedAskRetryDiscardOrCancel)
{
    QDir(dir.path()).mkdir(u"favs.dat"_s);
    MainWindow &w = start();
    messages.shown.clear();
    clickRow(linkRow(u"Big Arena"_s));
    click("addFavouriteButton");
    click("addFavouriteButton");
    ASSERT_EQ(messages.shown.size(), 1) << "a change that cannot be saved is said, once";
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(messages.shown[0].text.contains(dir.file(u"favs.dat"_s))) << "with the reason";
    messages.shown.clear();
    messages.answers = {QMessageBox::Retry, QMessageBox::Cancel};
    w.close();
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[0].buttons, QMessageBox::Retry | QMessageBox::Discard | QMessageBox::Cancel);
    EXPECT_TRUE(w.isVisible() && tray.installed) << "Cancel keeps the program open";
    messages.answers = {QMessageBox::Discard};
    w.close();
    EXPECT_FALSE(w.isVisible() || tray.installed);
}

// An installed mod plays from its page and from the remote control's menu on a favourite of that page, with the engine
// the game settings name: here a script that records what it was given.
TEST_F(MainWindowTest, AnInstalledModPlaysFromItsPageAndFromTheRemoteControl)
{
    TempFolder game;
    game.write(u"data/baseq2/pak0.pak"_s, "game data");
    game.write(u"engine.sh"_s, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$0.args\"\n");
    QFile::setPermissions(game.file(u"engine.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    game.write(u"arena.zip"_s, buildZip({ZipEntry{"arena/pak0.pak", "pak"}}));
    ASSERT_TRUE(ModInstaller(game.file(u"mods"_s)).install(game.file(u"arena.zip"_s), u"arena"_s, u"http://m/1"_s).ok);
    GameSetup{game.file(u"engine.sh"_s), game.file(u"mods"_s), game.file(u"data"_s), {}}.save(settings);
    MainWindow &w = start();
    const auto played = [&](int times) {
        return QTest::qWaitFor([&] { return game.read(u"engine.sh.args"_s).count("+set\ngame\narena\n") == times; }, 30000);
    };

    clickRow(linkRow(u"Arena One"_s));
    EXPECT_FALSE(control("playButton")->isVisible());
    clickRow(linkRow(u"Big Arena"_s));
    ASSERT_TRUE(control("playButton")->isVisible());
    click("playButton");
    EXPECT_TRUE(played(1));

    favourites.add(u"Arena"_s, u"http://m/1"_s);
    click("remoteControlButton");
    auto *list = w.remoteControl()->findChild<QListWidget *>(u"favouritesList"_s);
    Q_EMIT list->customContextMenuRequested(list->visualItemRect(list->item(0)).center());
    auto *menu = w.remoteControl()->findChild<QMenu *>(u"favouriteMenu"_s);
    ASSERT_TRUE(menu && menu->actions().size() == 2);
    menu->actions().last()->trigger();
    menu->close();
    EXPECT_TRUE(played(2));
}

// The disk fills after the start: a favourite added then cannot be saved, which is said once, and favs.dat keeps what
// it held, so the program may be killed at any moment after.
TEST_F(MainWindowTest, AFullDiskNeverEmptiesTheFavourites)
{
    SmallDisk disk(256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "a tmpfs of its own needs root";
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
        disk.folder().write(name, dir.read(name));
    disk.folder().write(u"favs.dat"_s, "Arena\r\nhttp://a/1\r\n");
    start(views, kServer, disk.folder().path());
    messages.shown.clear();
    disk.fill();
    clickRow(linkRow(u"Big Arena"_s));
    QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(disk.folder().read(u"favs.dat"_s), "Arena\r\nhttp://a/1\r\n");
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].text.contains(u"no space left on the device"_s)) << messages.shown[0].text.toStdString();
}

// A list or a favourite that names script, a local file or data opens nothing and says so, with the default browser
// chosen too; a typed address may name a local file, never script.
TEST_F(MainWindowTest, OnlyWebAddressesOpenFromTheListAndTheFavourites)
{
    dir.write(u"q2modlist.dat"_s, crlfLines({"[ValidHeader]", "Weapons", "---", "Weapons?Script?javascript:alert(1)",
                                             "Weapons?Local?file:///etc/passwd", "Weapons?Data?data:text/html,x",
                                             "Weapons?Good?https://w/1"}));
    start();
    const auto refused = [&] { return control<QLabel>("statusLabel")->text().startsWith(u"Not opened"_s); };
    const QStringList opened = web().navigations;
    for (const char *name : {"Script", "Local", "Data"}) {
        clickRow(linkRow(QString::fromLatin1(name)));
        EXPECT_TRUE(web().navigations == opened && refused()) << name;
    }
    clickRow(linkRow(u"Good"_s));
    EXPECT_EQ(web().navigations.last(), u"https://w/1"_s);

    setOption(Options::kUseDefaultBrowser, "1");
    favourites.add(u"Script"_s, u"javascript:alert(2)"_s);
    pickFavourite();
    EXPECT_TRUE(web().navigations.last() == u"https://w/1"_s && shell.opened.isEmpty() && refused());

    auto *field = control<QLineEdit>("addressField");
    for (const QString &typed : {u"javascript:alert(3)"_s, u"file:///etc/hosts"_s}) {
        field->setText(typed);
        QTest::keyClick(field, Qt::Key_Return);
    }
    EXPECT_EQ(web().navigations.mid(opened.size()), (QStringList{u"https://w/1"_s, u"file:///etc/hosts"_s}));
}

// A favourite picked in the remote control opens in the window that browses: the fullscreen window while it is open,
// else the main window, brought back from the tray. (The default browser: RemoteControlTest.)
TEST_F(MainWindowTest, RemoteControlOpensInTheBrowsingWindow)
{
    for (const bool fullScreen : {false, true}) {
        views.views.clear();
        MainWindow &w = start();
        favourites.add(u"Arena"_s, u"http://a/1"_s);
        if (fullScreen) {
            click("fullScreenButton");
            w.fullScreenWindow()->showMinimized();
        }
        w.showMinimized();
        pickFavourite();
        EXPECT_EQ(views.views.last()->navigations.last(), u"http://a/1"_s) << fullScreen;
        EXPECT_EQ(web().navigations.size(), fullScreen ? 1 : 2) << fullScreen;
        EXPECT_EQ(w.isMinimized(), fullScreen) << fullScreen;
        EXPECT_TRUE(!fullScreen || w.fullScreenWindow()->windowState() == Qt::WindowFullScreen);
    }
}

// F11 opens the fullscreen window at this window's address (at home with the fullscreen start on), browsing on its own
// view. &Return, F11 and Esc hand its page back to this window; closed another way, it hands nothing back.
TEST_F(MainWindowTest, FullScreenWindowBrowsesWhileOpenAndHandsItsPageBack)
{
    MainWindow &w = start();
    const struct { const char *how; std::function<void(QWidget *)> leave; bool handsBack; } ways[] = {
        {"its & key, Alt+R (an animated click)", [](QWidget *full) {
             const QPointer<QWidget> open(full);
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
             (void)QTest::qWaitFor([&] { return !open || !open->isVisible(); }, 2000);
         }, true},
        {"Return", [](QWidget *full) { full->findChild<QAbstractButton *>(u"returnButton"_s)->click(); }, true},
        {"F11", [](QWidget *full) { QTest::keyClick(full, Qt::Key_F11); }, true},
        {"Esc", [](QWidget *full) { QTest::keyClick(full, Qt::Key_Escape); }, true},
        {"closed", [](QWidget *full) { full->close(); }, false}};
    for (const auto &way : ways) {
        w.openAddress(u"http://a/1"_s);
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F11);
        FullScreenWindow *full = w.fullScreenWindow();
        ASSERT_TRUE(full && QTest::qWaitForWindowActive(full)) << way.how;
        EXPECT_EQ(views.views.last()->navigations, QStringList{u"http://a/1"_s}) << way.how;
        auto *address = full->findChild<QLineEdit *>(u"addressField"_s);
        address->setText(u"http://next/"_s);
        QTest::keyClick(address, Qt::Key_Return);
        way.leave(full);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(w.fullScreenWindow(), nullptr) << way.how;
        EXPECT_EQ(web().navigations.last(), way.handsBack ? u"http://next/"_s : u"http://a/1"_s) << way.how;
    }
    setOption(Options::kStartFullScreen, "1");
    click("fullScreenButton");
    EXPECT_EQ(views.views.last()->navigations, QStringList{kHome});
}

// "Update list" fetches the catalogue, then the current list's archive, behind an application-modal progress dialog
// whose Cancel ends it with the old list in place and no question; a failed fetch asks to retry.
TEST_F(MainWindowTest, UpdateListRunsBehindAModalDialogAndAsksAgainAfterAFailedFetch)
{
    settings.setValue(u"q3modlist"_s, Options::kSection, Options::kUpdateDate, u"01-02-2003"_s);
    MainWindow &w = start();
    const QString modlist = kServer + "/kestrelmoor/modlist/"_L1, q2 = modlist + "q2modlist.zip"_L1, q3 = modlist + "q3modlist.zip"_L1;
    const QByteArray fresh = crlfLines({"[ValidHeader]", "Fresh", "Other", "---", "Fresh?New mod?http://n/1", "Other?Defrag?http://q3/2"});
    fetcher.answer(modlist + "mods.dat"_L1, {FakeFetcher::Answer::good(twoListCatalogue(kServer))});
    fetcher.answer(q2, {FakeFetcher::Answer::good(buildZip({ZipEntry{"q2modlist.dat", fresh}}))});
    fetcher.answer(q3, {FakeFetcher::Answer::failed(), FakeFetcher::Answer::good(buildZip({ZipEntry{"q3modlist.dat", fresh}}))});
    const QString before = shown(tree());
    const QByteArray listBefore = dir.read(u"q2modlist.dat"_s);
    QStringList seen;
    fetcher.whileFetching = [&](const QString &url) {
        auto *dialog = w.findChild<QDialog *>(u"updateProgressDialog"_s);
        seen << (dialog && dialog->isVisible() && dialog->windowModality() == Qt::ApplicationModal ? u"modal"_s : u"-"_s);
        if (url == q2 && dialog)
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"cancelUpdateButton"_s), Qt::LeftButton);
    };
    const auto ended = [&] { return QTest::qWaitFor([&] { return !w.findChild<QDialog *>(u"updateProgressDialog"_s); }, 30000); };
    click("updateButton");
    ASSERT_TRUE(ended());
    EXPECT_EQ(seen, (QStringList{u"modal"_s, u"modal"_s}));
    EXPECT_TRUE(messages.shown.isEmpty()) << "no question, no success message";
    EXPECT_EQ(shown(tree()), before);
    EXPECT_EQ(dir.read(u"q2modlist.dat"_s), listBefore);
    EXPECT_FALSE(dir.exists(u"tempor.zip"_s) || dir.exists(u".kml-update"_s));
    EXPECT_FALSE(w.findChild<QDialog *>(u"updateProgressDialog"_s)) << "the dialog is gone";

    fetcher.whileFetching = nullptr;
    fetcher.order.clear();
    w.selectList(1);
    tree()->setCurrentIndex(linkRow(u"Defrag"_s)); // its folder opens, and stays open with the new list
    tree()->expand(tree()->model()->index(0, 0));  // Arenas, which the new list has not
    auto *button = control<QAbstractButton>("updateButton");
    QStringList asked;
    messages.whileShown = [&](const FakeMessages::Shown &s) { asked.append(s.title + (button->isEnabled() ? " (on)"_L1 : " (off)"_L1)); };
    messages.answers = {QMessageBox::Ok}; // retry once
    button->click();
    ASSERT_TRUE(ended());
    EXPECT_EQ(fetcher.order.mid(0, 2), (QStringList{modlist + "mods.dat"_L1, q3}));
    EXPECT_EQ(asked, (QStringList{u"Connection Error (off)"_s, u"Mod List (on)"_s})) << "the button is off while it runs";
    EXPECT_EQ(messages.shown.value(0).buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(control<QLabel>("updatedLabel")->text(), "updated: "_L1 + dateStamp(QDate::currentDate()));
    EXPECT_EQ(shown(tree()), u"Fresh[New mod] Other+[Defrag]"_s);
    EXPECT_EQ(tree()->currentIndex(), linkRow(u"Defrag"_s));
    EXPECT_EQ(messages.shown.last().text, u"Mod List updated successfully."_s);

    // Cancel at the question leaves the list as it was. The keys are back in the window once the progress dialog has
    // gone.
    fetcher.answer(q3, {FakeFetcher::Answer::failed()});
    asked.clear();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_U, Qt::ControlModifier);
    ASSERT_TRUE(ended());
    EXPECT_EQ(asked, QStringList{u"Connection Error (off)"_s});
    EXPECT_EQ(shown(tree()), u"Fresh[New mod] Other+[Defrag]"_s);
    EXPECT_TRUE(button->isEnabled());
}

// Closing the window, the tray's Close and an end signal while an update runs cancel it; the window closes once it has
// ended, with the old list or the whole new one in place and nothing left behind.
TEST_F(MainWindowTest, AnUpdateUnderWayEndsCleanlyWhenTheProgramCloses)
{
    const QByteArray listBefore = dir.read(u"q2modlist.dat"_s), listAfter = crlfLines({"[ValidHeader]", "New", "---"});
    const QString modlist = kServer + "/kestrelmoor/modlist/"_L1;
    fetcher.answer(modlist + "mods.dat"_L1, {FakeFetcher::Answer::good(twoListCatalogue(kServer))});
    fetcher.answer(modlist + "q2modlist.zip"_L1, {FakeFetcher::Answer::good(buildZip({ZipEntry{"q2modlist.dat", listAfter}}))});
    for (const char *how : {"the window", "the tray", "an end signal"}) {
        SCOPED_TRACE(how);
        MainWindow &w = start();
        const QString way = QString::fromLatin1(how);
        if (way == u"an end signal"_s)
            ASSERT_TRUE(onEndSignals(&w, [&w] { w.close(); }));
        bool asked = false;
        fetcher.whileFetching = [&](const QString &) {
            if (std::exchange(asked, true))
                return;
            if (way == u"the window"_s)
                w.close();
            else if (way == u"the tray"_s)
                w.trayMenu()->findChild<QAction *>(u"quitAction"_s)->trigger();
            else
                ::raise(SIGTERM);
        };
        click("updateButton");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible() && !w.findChild<QDialog *>(u"updateProgressDialog"_s); }, 30000));
        // The signal reaches the window from the event loop, maybe once the files began to move.
        const QByteArray list = dir.read(u"q2modlist.dat"_s);
        EXPECT_TRUE(list == listBefore || (way == u"an end signal"_s && list == listAfter));
        EXPECT_FALSE(dir.exists(u"tempor.zip"_s) || dir.exists(u".kml-update"_s));
    }
}

// The selection stays visible while the find dialog has the focus, in the colours of a new scheme too.
TEST_F(MainWindowTest, TreeSelectionTakesTheNewColoursWhenTheDesktopSwitchesScheme)
{
    QPalette dark = start().palette();
    dark.setColor(QPalette::Highlight, QColor(0x12, 0x60, 0x8a));
    window->setPalette(dark);
    EXPECT_EQ(tree()->palette().color(QPalette::Inactive, QPalette::Highlight), dark.color(QPalette::Active, QPalette::Highlight));
}

// The filter shows the matching links, their folders opened, and gives back the folders the user had opened; the
// current node stays current while shown.
TEST_F(MainWindowTest, FilterShowsMatchesOpenedAndKeepsTheCurrentNode)
{
    MainWindow &w = start();
    auto *field = control<QLineEdit>("filterField");
    tree()->expand(tree()->model()->index(1, 0)); // the user had opened Maps
    for (const auto &[typed, expected] : {std::pair{"a", "Weapons+[Arena One, Railgun Caf\u00E9] Maps+[Big Arena, Q2DM1 remake]"},
                                          {"R", "Weapons+[Arena One] Maps+[Big Arena]"}, {"x", ""}}) {
        QTest::keyClicks(field, QString::fromLatin1(typed));
        EXPECT_EQ(shown(tree()), QString::fromUtf8(expected)) << field->text().toStdString();
        EXPECT_EQ(control("noMatchLabel")->isVisible(), !*expected) << field->text().toStdString();
    }
    field->clear();
    EXPECT_EQ(shown(tree()), u"Weapons[Arena One, Railgun Caf\u00E9] Maps+[Big Arena, Q2DM1 remake] Empty[]"_s);

    clickRow(linkRow(u"Big Arena"_s));
    field->setText(u"big"_s);
    EXPECT_EQ(tree()->currentIndex().data().toString(), u"Big Arena"_s);
    field->setText(u"railgun"_s);
    EXPECT_FALSE(tree()->currentIndex().isValid()) << "hidden now";
    field->setText(u"big a"_s);
    tree()->collapseAll();
    field->clear();
    EXPECT_EQ(tree()->currentIndex().data().toString(), u"Big Arena"_s);
    EXPECT_TRUE(tree()->isExpanded(tree()->currentIndex().parent())) << "cleared, the node is kept in sight";

    // Ctrl+K selects the field, Down goes into the tree at the first match (Enter too, and Enter there opens it: the
    // end-to-end journey). Esc clears a filled field and leaves the page loading; in an empty field it stops the page.
    field->setText(u"arena"_s);
    QTest::keyClick(&w, Qt::Key_K, Qt::ControlModifier);
    EXPECT_TRUE(field->hasFocus() && field->selectedText() == u"arena"_s) << "typing replaces the old text";
    tree()->setCurrentIndex({});
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_TRUE(tree()->hasFocus() && tree()->currentIndex().data().toString() == u"Arena One"_s);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(std::pair(w.treeFilter().shownLinkCount(), web().stops), std::pair(4, 0));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(web().stops, 1);

    // The filter stays through a list switch and a rebuilt tree, whose links open and are added.
    field->setText(u"arena"_s);
    w.selectList(1);
    EXPECT_EQ(shown(tree()), u"Arenas+[Arena of Q3]"_s);
    w.selectList(0);
    dir.write(u"q2modlist.dat"_s, crlfLines({"[ValidHeader]", "New", "---", "New?Arena Two?http://n/1", "New?Other?http://n/2"}));
    w.rebuildTree(dir.file(u"q2modlist.dat"_s));
    EXPECT_EQ(shown(tree()), u"New+[Arena Two]"_s);
    clickRow(linkRow(u"Arena Two"_s));
    click("addFavouriteButton");
    EXPECT_EQ(std::pair(web().navigations.last(), favourites.names()), std::pair(u"http://n/1"_s, QStringList{u"Arena Two"_s}));
    field->clear();
    EXPECT_EQ(shown(tree()), u"New+[Arena Two, Other]"_s) << "the folders open before belonged to the old tree; the current node's opens";
}

// Find selects in the tree without opening the page or changing the node that "Add to favourites" takes, and clears a
// filter that hides what it found.
TEST_F(MainWindowTest, FindSelectsInTheWholeTreeWithoutOpening)
{
    MainWindow &w = start();
    clickRow(linkRow(u"Arena One"_s));
    auto *field = control<QLineEdit>("filterField");
    field->setText(u"arena"_s);
    QTest::keyClick(tree(), Qt::Key_F, Qt::ControlModifier);
    auto *find = control<FindDialog>("findDialog");
    ASSERT_NE(find, nullptr);
    auto *search = find->findChild<QLineEdit *>(u"searchField"_s);
    auto next = [&](const QString &text) {
        search->setText(text);
        QTest::keyClick(search, Qt::Key_Return);
        return tree()->selectionModel()->selectedIndexes().value(0).data().toString();
    };
    EXPECT_EQ(next(u"big"_s), u"Big Arena"_s);
    EXPECT_EQ(field->text(), u"arena"_s) << "a match the filter shows keeps the filter";
    EXPECT_EQ(next(u"q2dm"_s), u"Q2DM1 remake"_s);
    EXPECT_EQ(field->text(), QString()) << "a match the filter hides clears it";
    EXPECT_TRUE(tree()->isExpanded(tree()->currentIndex().parent()));
    field->setText(u"rail"_s);
    next(u"no such mod"_s);
    EXPECT_EQ(field->text(), u"rail"_s) << "nothing found leaves the filter";
    EXPECT_EQ(w.statusBar()->currentMessage(), u"No further mod matches \"no such mod\""_s);
    EXPECT_EQ(web().navigations.size(), 2);
    EXPECT_EQ(w.lastNode(), 3);
    QByteArray hay = "[ValidHeader]\r\nA\r\nB\r\n---\r\n";
    for (int i = 0; i < 300; ++i)
        hay += "A?Filler " + QByteArray::number(i) + "?u\r\n";
    dir.write(u"q2modlist.dat"_s, hay + "B?Needle?u\r\n");
    field->clear();
    w.rebuildTree(dir.file(u"q2modlist.dat"_s));
    tree()->expandAll();
    EXPECT_EQ(next(u"needle"_s), u"Needle"_s);
    EXPECT_TRUE(tree()->viewport()->rect().intersects(tree()->visualRect(tree()->currentIndex()))) << "in sight";

    // Escape closes the dialog and, unlike in the main window, stops nothing.
    QApplication::setActiveWindow(find);
    QTest::keyClick(search, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(control<FindDialog>("findDialog"), nullptr);
    EXPECT_EQ(web().stops, 0);
}

// The tree view works rows out itself: wherever QTreeView puts a row, or scrolls to show it, so must it.
TEST(ModTreeView, PlacesAndScrollsToRowsAsQTreeViewDoes)
{
    QByteArray list = "[ValidHeader]\r\nA\r\nB\r\nEmpty\r\nC\r\n---\r\n";
    for (int i = 0; i < 60; ++i)
        list += QByteArray(1, "ABCC"[i % 4]) + "?Mod " + QByteArray::number(i) + "?u\r\n";
    ModTreeModel model;
    ModTree tree;
    parseModList(list, tree);
    model.setTree(std::move(tree));
    ModTreeView view(model);
    view.resize(200, 150);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QScrollBar *bar = view.verticalScrollBar();
    const struct { const char *what; bool allOpen; const char *filter; bool perPixel; Qt::LayoutDirection direction; int scrolledTo; } layouts[] = {
        {"folders closed, the second open", false, "", false, Qt::LeftToRight, 0},
        {"every folder open, scrolled half way", true, "", false, Qt::LeftToRight, 50},
        {"filtered", true, "1", false, Qt::LeftToRight, 30},
        {"scrolled by the pixel", true, "", true, Qt::LeftToRight, 60},
        {"right to left, scrolled to the end", false, "", false, Qt::RightToLeft, 100},
    };
    for (const auto &layout : layouts) {
        const auto arrange = [&] {
            view.setFilterText(QString::fromLatin1(layout.filter), ModTree::kNoNode);
            view.setVerticalScrollMode(layout.perPixel ? QAbstractItemView::ScrollPerPixel : QAbstractItemView::ScrollPerItem);
            view.setLayoutDirection(layout.direction);
            view.collapseAll();
            layout.allOpen ? view.expandAll() : view.expand(view.model()->index(1, 0));
            bar->setValue(bar->maximum() * layout.scrolledTo / 100);
        };
        arrange();
        const QAbstractItemModel *shown = view.model();
        for (const QModelIndex &index : shown->match(shown->index(0, 0), Qt::DisplayRole, u"*"_s, -1, Qt::MatchWildcard | Qt::MatchRecursive)) {
            const std::string where = std::string(layout.what) + ' ' + index.data().toString().toStdString();
            EXPECT_EQ(view.visualRect(index), view.QTreeView::visualRect(index)) << where;
            for (auto hint : {QAbstractItemView::EnsureVisible, QAbstractItemView::PositionAtTop,
                              QAbstractItemView::PositionAtBottom, QAbstractItemView::PositionAtCenter}) {
                arrange();
                view.scrollTo(index, hint);
                const auto ours = std::pair{bar->value(), view.isExpanded(index.parent())};
                arrange();
                view.QTreeView::scrollTo(index, hint);
                EXPECT_EQ(ours, std::pair(bar->value(), view.isExpanded(index.parent()))) << where << ' ' << hint;
            }
        }
    }
}

// A tree tooltip shows the whole name, as text, and the address. (The tree column's width kept from one run to the
// next: the end-to-end journey.)
TEST_F(MainWindowTest, TreeTooltipsShowTheWholeNameAndTheAddress)
{
    dir.write(u"q2modlist.dat"_s, crlfLines({"[ValidHeader]", "CTF", "---", "CTF?Rocket Arena <CTF> edition?http://r/1"}));
    start();
    QTextDocument tip;
    tip.setHtml(TreeIconDelegate::toolTip(linkRow(u"Rocket Arena <CTF> edition"_s)));
    EXPECT_EQ(tip.toPlainText(), u"Rocket Arena <CTF> edition\nhttp://r/1"_s);
}

// The window starts inside the screen's free area, centred, two thirds of it or the least it needs (ctest runs this on
// 1280 x 1024 at scale factor 2 too); the tree column shows the names whole (up to a third of the window) unless the user
// left it elsewhere. Down to its minimum size every control keeps a room of its own.
TEST_F(MainWindowTest, WindowFitsTheScreenAndNoControlOverlapsAnother)
{
    setOption("TreeWidth", "3000");
    const QSplitter *splitter = start().findChild<QSplitter *>();
    EXPECT_EQ(splitter->sizes().value(0), std::min(qRound(3000 / twipsPerPixel(window.get())),
                                                   window->width() - splitter->widget(1)->minimumSizeHint().width() - splitter->handleWidth()));
    setOption("TreeWidth", "");
    MainWindow &w = start();
    const QRect area = w.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(w.frameGeometry())) << w.frameGeometry().width();
    EXPECT_EQ(w.width(), std::max(area.width() * 2 / 3, w.minimumSizeHint().width()));
    EXPECT_LE((w.frameGeometry().center() - area.center()).manhattanLength(), 40);
    tree()->expandAll();
    const int names = static_cast<QAbstractItemView *>(tree())->sizeHintForColumn(0);
    EXPECT_TRUE(names <= tree()->viewport()->width() || tree()->width() >= w.width() / 3 - 8) << names;
    for (const QSize size : {w.size(), QSize(1, 1)}) {
        w.resize(size);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QList<std::pair<QWidget *, QRect>> controls;
        for (QWidget *c : w.findChildren<QWidget *>())
            if (c->isVisible() && !c->objectName().isEmpty() && !c->objectName().startsWith("qt_"_L1))
                controls.append({c, QRect(c->mapTo(&w, QPoint()), c->size())});
        for (const auto &[a, at] : controls) {
            EXPECT_FALSE(at.isEmpty()) << a->objectName().toStdString();
            for (const auto &[b, bt] : controls)
                EXPECT_TRUE(a == b || a->isAncestorOf(b) || b->isAncestorOf(a) || !at.intersects(bt))
                    << a->objectName().toStdString() << " " << b->objectName().toStdString();
        }
    }
}
