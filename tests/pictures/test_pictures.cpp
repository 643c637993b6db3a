// The windows' pictures are SVG files in the static libraries' resources. A
// resource left out of the link, a misspelt name or a broken file draws
// nothing, silently; these tests look at what the windows really show.
#include "core/favourites.h"
#include "core/settingsstore.h"
#include "platform/appicon.h"
#include "support/fakes.h"
#include "ui/aboutdialog.h"
#include "ui/buttonpictures.h"
#include "ui/favouritesdialog.h"
#include "ui/remotecontrol.h"
#include "ui/treeicons.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QSet>

namespace {

// A drawn picture has visible pixels of more than one colour; a blank or
// a plain fill has not.
bool isDrawn(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const QRgb pixel = image.pixel(x, y); qAlpha(pixel) > 0)
                colours.insert(pixel);
    return colours.size() > 1;
}

bool isDrawn(const QPixmap &pixmap)
{
    return !pixmap.isNull() && isDrawn(pixmap.toImage());
}

} // namespace

// The lines of some pictures take the palette's ink, which is written into the
// picture when it is shown: both schemes must still give a picture.
TEST(Pictures, ButtonPicturesOnLightAndDarkDesktops)
{
    const QPalette saved = QGuiApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    QPalette light = saved;
    light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    light.setColor(QPalette::WindowText, Qt::black);
    for (const char *name : {"update", "find", "addfav", "options", "configfav", "remote", "home"}) {
        for (const QPalette &palette : {light, dark}) {
            QGuiApplication::setPalette(palette);
            SCOPED_TRACE(std::string(name) + (palette == dark ? " on dark" : " on light"));
            const QIcon picture = buttonPicture(QString::fromLatin1(name));
            EXPECT_TRUE(isDrawn(picture.pixmap(24, 24)));
            EXPECT_TRUE(isDrawn(picture.pixmap(QSize(24, 24), QIcon::Disabled)));
        }
    }
    QGuiApplication::setPalette(saved);
}

TEST(Pictures, IconsOfTheProgramAndTheTree)
{
    for (int size : {16, 256})
        EXPECT_TRUE(isDrawn(appIcon().pixmap(size, size))) << size;
    const QImage folder = treeIcon(QStringLiteral("folder")).pixmap(16, 16).toImage();
    const QImage link = treeIcon(QStringLiteral("link")).pixmap(16, 16).toImage();
    EXPECT_TRUE(isDrawn(folder));
    EXPECT_TRUE(isDrawn(link));
    EXPECT_NE(folder, link);
}

TEST(Pictures, DialogsShowTheirPictures)
{
    Favourites favourites;
    FavouritesDialog favouritesDialog(favourites);
    for (const char *name : {"moveUpButton", "moveDownButton"}) {
        const auto *button = favouritesDialog.findChild<QAbstractButton *>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(isDrawn(button->icon().pixmap(button->iconSize()))) << name;
    }

    FakeShell shell;
    FakeMessages messages;
    auto *about = new AboutDialog(shell, messages, QStringLiteral("http://127.0.0.1:1/"));
    const auto *picture = about->findChild<QLabel *>(QStringLiteral("picture"));
    const auto *returnButton = about->findChild<QAbstractButton *>(QStringLiteral("returnButton"));
    ASSERT_NE(picture, nullptr);
    ASSERT_NE(returnButton, nullptr);
    EXPECT_TRUE(isDrawn(picture->pixmap()));
    EXPECT_TRUE(isDrawn(returnButton->icon().pixmap(returnButton->iconSize())));
    delete about;
}

TEST(Pictures, RemoteControlShowsItsPanelAndPictures)
{
    Favourites favourites;
    MemorySettingsStore settings;
    FakeShell shell;
    FakeMessages messages;
    auto *remote = new RemoteControl(favourites, settings, shell, messages);
    EXPECT_TRUE(isDrawn(remote->windowIcon().pixmap(16, 16)));
    for (const char *name : {"closeButton", "minimizeButton", "showMainWindowButton"}) {
        auto *button = remote->findChild<QAbstractButton *>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_FALSE(button->size().isEmpty()) << name;
        EXPECT_TRUE(isDrawn(button->grab())) << name;
    }
    // The dark panel, not the light palette's window colour, between the
    // window's edge and the list.
    const QImage window = remote->grab().toImage();
    EXPECT_LT(QColor(window.pixel(2, window.height() / 2)).lightness(), 100);
    delete remote;
}
