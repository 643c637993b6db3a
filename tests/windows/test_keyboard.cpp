#include "core/modlistloader.h"
#include "support/keyboardwalk.h"
#include "support/mainwindowtest.h"
#include "ui/aboutdialog.h"
#include "ui/favouritesdialog.h"
#include "ui/finddialog.h"
#include "ui/fullscreenwindow.h"
#include "ui/navigationbar.h"
#include "ui/optionsdialog.h"
#include "ui/remotecontrol.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QPointer>
#include <QSignalSpy>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Every window by the keyboard: one at a time, shown as the active window.
class AllWindowsTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        favourites.replaceAll({Favourite{u"Arena"_s, u"http://a/1"_s, {}, {}}});
    }
    void TearDown() override { delete shownWindow.data(); }

    QWidget *show(QWidget *made)
    {
        delete shownWindow.data();
        shownWindow = made;
        made->show();
        made->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(made));
        return made;
    }
    bool closed()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return shownWindow.isNull() || !shownWindow->isVisible();
    }
    FullScreenWindow *fullScreen() { return new FullScreenWindow(views, kHome, [] { return kHome; }); }
    // Back and Forward are Tab stops while there is somewhere to go.
    template<typename W> W *goBackFrom(W *w)
    {
        w->navigationBar()->openAddress(u"http://a/2"_s);
        w->navigationBar()->openAddress(u"http://a/3"_s);
        w->template findChild<QAbstractButton *>(u"backButton"_s)->click();
        return w;
    }

    ModTreeModel model;
    QPointer<QWidget> shownWindow;
};

} // namespace

// Tab and Shift+Tab go round each window in reading order, from the control
// that has the focus when it opens; every stop has a name for screen readers.
TEST_F(AllWindowsTest, TabGoesRoundEachWindowInReadingOrderAndEveryControlIsNamed)
{
    const struct { const char *window; std::function<QWidget *()> make; const char *order; } rows[] = {
        {"main", [this] { return start(), goBackFrom(window.get()), window.release(); },
         "modTree webView listChooser updateButton findButton addFavouriteButton optionsButton configureFavouritesButton "
         "remoteControlButton backButton forwardButton homeButton refreshButton stopButton addressField infoButton "
         "fullScreenButton filterField"},
        {"remote control", [this] { return new RemoteControl(favourites, settings, shell, messages); },
         "favouritesList alwaysOnTopBox minimizeButton showMainWindowButton closeButton"},
        {"favourites", [this] { return new FavouritesDialog(favourites); },
         "favouritesList moveUpButton moveDownButton addButton nameField urlField okButton cancelButton deleteButton"},
        {"fullscreen", [this] { return goBackFrom(fullScreen()); },
         "addressField returnButton webView backButton forwardButton homeButton refreshButton stopButton"},
        {"options, the remote control at start-up on",
         [this] { return setOption(Options::kShowFav, "1"), new OptionsDialog(settings, messages); },
         "showRemoteAtStartupBox fullScreenAtStartupBox maximizedAtStartupBox cancelButton okButton remoteOnlyAtStartupBox "
         "defaultBrowserBox listServerField"},
        {"find", [this] { return new FindDialog(model); }, "searchField findNextButton returnButton"},
        {"about", [this] { return new AboutDialog(shell, messages, kSite); }, "returnButton siteLink"},
    };
    for (const auto &row : rows) {
        QWidget *w = show(row.make());
        const QStringList order = QString::fromLatin1(row.order).split(u' ');
        EXPECT_EQ(focusedControl(), order.first()) << row.window;
        EXPECT_EQ(tabbedThrough(w, order.first(), int(order.size())), order + order.mid(0, 1)) << row.window;
        QStringList backwards = order;
        std::reverse(backwards.begin(), backwards.end());
        EXPECT_EQ(tabbedThrough(w, backwards.first(), int(order.size()), true), backwards + backwards.mid(0, 1)) << row.window;
        EXPECT_EQ(unnamedControls(w), QStringList()) << row.window;
    }
}

// The & keys of the captions press their buttons, as a click does.
TEST_F(AllWindowsTest, AccessKeysPressTheirButtons)
{
    QStringList returned;
    QSignalSpy *found = nullptr;
    const struct { const char *name; std::function<QWidget *()> make; Qt::Key key; std::function<bool()> done; } rows[] = {
        {"favourites: &Add new entry", [this] { return new FavouritesDialog(favourites); }, Qt::Key_A,
         [this] { return shownWindow->findChild<QListWidget *>()->count() == 2; }},
        {"favourites: &Delete current entry", [this] { return new FavouritesDialog(favourites); }, Qt::Key_D,
         [this] { return shownWindow->findChild<QListWidget *>()->count() == 0; }},
        {"favourites: &Ok", [this] { return new FavouritesDialog(favourites); }, Qt::Key_O,
         [this] { return closed() && static_cast<QDialog *>(shownWindow.data())->result() == QDialog::Accepted; }},
        {"options: &Ok", [this] { return new OptionsDialog(settings, messages); }, Qt::Key_O,
         [this] { return closed() && settings.size() == 6; }},
        {"options: &List server", [this] { return new OptionsDialog(settings, messages); }, Qt::Key_L,
         [] { return QApplication::focusWidget() && QApplication::focusWidget()->objectName() == "listServerField"_L1; }},
        {"options: &Cancel", [this] { return new OptionsDialog(settings, messages); }, Qt::Key_C,
         [this] { return closed() && settings.size() == 0; }},
        {"find: &Find next", [&] {
             auto *find = new FindDialog(model);
             return found = new QSignalSpy(find, &FindDialog::nodeFound), find;
         },
         Qt::Key_F, [&] { return found->size() == 1; }},
        {"find: &Return", [this] { return new FindDialog(model); }, Qt::Key_R, [this] { return closed(); }},
        {"fullscreen: &Return", [&] {
             FullScreenWindow *full = fullScreen();
             QObject::connect(full, &FullScreenWindow::returnRequested, [&](const QString &url) { returned.append(url); });
             return full;
         }, Qt::Key_R, [&] { return closed() && returned == QStringList{kHome}; }},
    };
    ModTree tree;
    parseModList(crlfLines({"[ValidHeader]", "Maps", "---", "Maps?Big maps?http://m/1"}), tree);
    model.setTree(std::move(tree));
    for (const auto &row : rows) {
        settings = MemorySettingsStore();
        QWidget *w = show(row.make());
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, row.key, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor(row.done, 2000)) << row.name;
    }
    delete found;
}
