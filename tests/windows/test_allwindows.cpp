// Every window as a keyboard or screen-reader user meets it, and the pictures the windows show. The pictures are SVG
// files in the static libraries' resources: one left out of the link, a misspelt name or a broken file draws nothing,
// silently, so these tests look at what the windows really show.
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
#include <QListWidget>
#include <QSet>

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

// Back and Forward are Tab stops while there is somewhere to go, Stop while a page loads.
template<typename W> W *goneBack(W *w)
{
    w->navigationBar()->openAddress(u"http://a/2"_s);
    w->navigationBar()->openAddress(u"http://a/3"_s);
    w->template findChild<QAbstractButton *>(u"backButton"_s)->click();
    static_cast<FakeWebView *>(w->webView())->startLoad(10);
    return w;
}

} // namespace

// Tab and Shift+Tab go round each window in reading order, from the control that has the focus when it opens; every
// stop has a name for screen readers, every picture is drawn, and no two captions share an access key.
TEST_F(MainWindowTest, TabGoesRoundEveryWindowInReadingOrderAndEveryControlIsNamedAndDrawn)
{
    favourites.replaceAll({Favourite{u"Arena"_s, u"http://a/1"_s, {}, {}}});
    ModTree tree;
    parseModList(crlfLines({"[ValidHeader]", "Maps", "---", "Maps?Big maps?http://m/1"}), tree);
    ModTreeModel model;
    model.setTree(std::move(tree));
    const struct { const char *window; std::function<QWidget *()> make; const char *order; } rows[] = {
        {"main", [this] { return start(), goneBack(window.get()), window.release(); },
         "modTree webView listChooser updateButton findButton addFavouriteButton optionsButton configureFavouritesButton "
         "remoteControlButton modsButton backButton forwardButton homeButton refreshButton stopButton addressField "
         "infoButton fullScreenButton filterField"},
        {"remote control", [this] { return new RemoteControl(favourites, settings, shell, messages); },
         "favouritesList alwaysOnTopBox minimizeButton showMainWindowButton closeButton"},
        {"favourites, the middle entry selected (it moves either way)",
         [this] {
             favourites.replaceAll({Favourite{u"A"_s, u"http://a/1"_s, {}, {}}, Favourite{u"B"_s, u"http://a/2"_s, {}, {}},
                                    Favourite{u"C"_s, u"http://a/3"_s, {}, {}}});
             auto *dialog = new FavouritesDialog(favourites);
             dialog->findChild<QListWidget *>()->setCurrentRow(1);
             return dialog;
         },
         "favouritesList moveUpButton moveDownButton addButton nameField urlField okButton cancelButton deleteButton"},
        {"fullscreen", [this] { return goneBack(new FullScreenWindow(views, kHome, [] { return kHome; })); },
         "addressField backButton forwardButton homeButton refreshButton stopButton returnButton webView"},
        {"options, the remote control at start-up on",
         [this] { return setOption(Options::kShowRemoteControl, "1"), new OptionsDialog(settings, messages); },
         "showRemoteAtStartupBox fullScreenAtStartupBox maximizedAtStartupBox cancelButton okButton remoteOnlyAtStartupBox "
         "defaultBrowserBox listServerField engineField modsFolderField gameDataField extraArgumentsField"},
        {"find", [&] { return new FindDialog(model); }, "searchField findNextButton returnButton"},
        {"about", [this] { return new AboutDialog(shell, messages, kSite); }, "returnButton siteLink"},
    };
    for (const auto &row : rows) {
        const std::unique_ptr<QWidget> w(row.make());
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get())) << row.window;
        const QStringList order = QString::fromLatin1(row.order).split(u' ');
        EXPECT_EQ(focusedControl(), order.first()) << row.window;
        EXPECT_EQ(tabbedThrough(w.get(), order.first(), int(order.size())), order + order.mid(0, 1)) << row.window;
        QStringList backwards = order;
        std::reverse(backwards.begin(), backwards.end());
        EXPECT_EQ(tabbedThrough(w.get(), backwards.first(), int(order.size()), true), backwards + backwards.mid(0, 1)) << row.window;
        EXPECT_EQ(unnamedControls(w.get()), QStringList()) << row.window;
        EXPECT_EQ(blankPictures(w.get()), QStringList()) << row.window;
        EXPECT_EQ(sharedAccessKeys(w.get()), QStringList()) << row.window;
    }
}

// The pictures' lines take the palette's ink when they are shown: dark on a light desktop, light on a dark one, and
// drawn either way, greyed out too. The program's icon at the sizes the desktop asks for, two tree pictures that tell
// folders from links, the remote control's icon.
TEST(Pictures, ButtonPicturesFollowTheDesktopsInkAndEveryIconIsDrawn)
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

    EXPECT_TRUE(isDrawn(appIcon().pixmap(16, 16)) && isDrawn(appIcon().pixmap(256, 256)));
    const QImage folder = treeIcon(u"folder"_s).pixmap(16, 16).toImage(), link = treeIcon(u"link"_s).pixmap(16, 16).toImage();
    EXPECT_TRUE(isDrawn(QPixmap::fromImage(folder)) && isDrawn(QPixmap::fromImage(link)) && folder != link);
    Favourites favourites;
    MemorySettingsStore settings;
    FakeShell shell;
    FakeMessages messages;
    RemoteControl remote(favourites, settings, shell, messages);
    EXPECT_TRUE(isDrawn(remote.windowIcon().pixmap(16, 16)));
}
