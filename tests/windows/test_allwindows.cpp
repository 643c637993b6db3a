// Every window as a keyboard or screen-reader user meets it, and the pictures
// the windows show. The pictures are SVG files in the static libraries'
// resources: one left out of the link, a misspelt name or a broken file draws
// nothing, silently, so these tests look at what the windows really show.
#include "core/modlistloader.h"
#include "platform/appicon.h"
#include "support/keyboardwalk.h"
#include "support/mainwindowtest.h"
#include "ui/aboutdialog.h"
#include "ui/buttonpictures.h"
#include "ui/favouritesdialog.h"
#include "ui/finddialog.h"
#include "ui/fullscreenwindow.h"
#include "ui/navigationbar.h"
#include "ui/optionsdialog.h"
#include "ui/remotecontrol.h"
#include "ui/treeicons.h"

#include <QLabel>
#include <QPointer>
#include <QSet>
#include <QSignalSpy>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// A drawn picture has visible pixels of more than one colour; a blank or a plain fill has not.
bool isDrawn(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                colours.insert(image.pixel(x, y));
    return colours.size() > 1;
}

// The buttons without a caption and the labels with a picture whose picture is not drawn.
QStringList blankPictures(QWidget *window)
{
    QStringList blank;
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
        if (b->isVisibleTo(window) && b->text().isEmpty() &&
            !isDrawn(b->icon().isNull() ? b->grab() : b->icon().pixmap(b->iconSize(), b->isEnabled() ? QIcon::Normal : QIcon::Disabled)))
            blank.append(controlName(b));
    for (QLabel *label : window->findChildren<QLabel *>())
        if (!label->pixmap().isNull() && !isDrawn(label->pixmap()))
            blank.append(controlName(label));
    return blank;
}

// Every window, one at a time, shown as the active window.
class AllWindowsTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        favourites.replaceAll({Favourite{u"Arena"_s, u"http://a/1"_s, {}, {}}});
        ModTree tree;
        parseModList(crlfLines({"[ValidHeader]", "Maps", "---", "Maps?Big maps?http://m/1"}), tree);
        model.setTree(std::move(tree));
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
// that has the focus when it opens; every stop has a name for screen readers,
// every picture is drawn, and no two captions share an access key.
TEST_F(AllWindowsTest, TabGoesRoundEachWindowInReadingOrderAndEveryControlIsNamedAndDrawn)
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
        EXPECT_EQ(blankPictures(w), QStringList()) << row.window;
        EXPECT_EQ(sharedAccessKeys(w), QStringList()) << row.window;
    }
}

// The & keys of the captions work where the program, not Qt alone, makes them
// work: a label's key moves to its field, and "&Return" hands the page back.
TEST_F(AllWindowsTest, AccessKeysOfLabelsAndOfTheFullScreenWindow)
{
    QStringList returned;
    const struct { const char *name; std::function<QWidget *()> make; Qt::Key key; std::function<bool()> done; } rows[] = {
        {"options: &List server", [this] { return new OptionsDialog(settings, messages); }, Qt::Key_L,
         [] { return focusedControl() == "listServerField"_L1; }},
        {"fullscreen: &Return", [&] {
             FullScreenWindow *full = fullScreen();
             QObject::connect(full, &FullScreenWindow::returnRequested, [&](const QString &url) { returned.append(url); });
             return full;
         }, Qt::Key_R, [&] { return closed() && returned == QStringList{kHome}; }},
    };
    for (const auto &row : rows) {
        QWidget *w = show(row.make());
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, row.key, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor(row.done, 2000)) << row.name;
    }
}

// The pictures' lines take the palette's ink when they are shown: dark on a
// light desktop, light on a dark one, and drawn either way, greyed out too.
TEST(Pictures, ButtonPicturesKeepTheirLinesVisibleOnLightAndDarkDesktops)
{
    const QPalette saved = QGuiApplication::palette();
    for (const auto &[window, ink, dark] : {std::tuple{QColor(0xef, 0xef, 0xef), QColor(Qt::black), false},
                                            {QColor(0x30, 0x30, 0x30), QColor(0xee, 0xee, 0xee), true}}) {
        QPalette palette = saved;
        palette.setColor(QPalette::Window, window);
        palette.setColor(QPalette::WindowText, ink);
        QGuiApplication::setPalette(palette);
        for (const char *name : {"update", "find", "addfav", "options", "configfav", "remote", "home"}) {
            const QIcon picture = buttonPicture(QString::fromLatin1(name));
            EXPECT_TRUE(isDrawn(picture.pixmap(24, 24)) && isDrawn(picture.pixmap(QSize(24, 24), QIcon::Disabled))) << name;
        }
        // A point in the gear's body, between its hole and its teeth.
        const int gear = buttonPicture(u"options"_s).pixmap(24, 24).toImage().pixelColor(12, 7).lightness();
        EXPECT_TRUE(dark ? gear > 160 : gear < 90) << gear;
    }
    QGuiApplication::setPalette(saved);
}

// The program's icon at the sizes the desktop asks for, two tree pictures that
// tell folders from links, and the remote control's own icon and dark panel.
TEST(Pictures, IconsOfTheProgramTheTreeAndTheRemoteControl)
{
    EXPECT_TRUE(isDrawn(appIcon().pixmap(16, 16)) && isDrawn(appIcon().pixmap(256, 256)));
    const QImage folder = treeIcon(u"folder"_s).pixmap(16, 16).toImage(), link = treeIcon(u"link"_s).pixmap(16, 16).toImage();
    EXPECT_TRUE(isDrawn(QPixmap::fromImage(folder)) && isDrawn(QPixmap::fromImage(link)) && folder != link);
    Favourites favourites;
    MemorySettingsStore settings;
    FakeShell shell;
    FakeMessages messages;
    RemoteControl remote(favourites, settings, shell, messages);
    EXPECT_TRUE(isDrawn(remote.windowIcon().pixmap(16, 16)));
    const QImage window = remote.grab().toImage();
    EXPECT_LT(QColor(window.pixel(2, window.height() / 2)).lightness(), 100) << "the dark panel between the edge and the list";
}
