#include "platform/colorscheme.h"
#include "support/printers.h"
#include "ui/buttonpictures.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPalette>

namespace {

QPalette withWindow(const QColor &window)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    return palette;
}

} // namespace

TEST(ColorScheme, DarkIsAWindowColourDarkerThanMiddleGrey)
{
    const struct { const char *name; QColor window; bool dark; } rows[] = {
        {"Fusion light", QColor(0xef, 0xef, 0xef), false},   {"middle grey", QColor(0x80, 0x80, 0x80), false},
        {"just below middle grey", QColor(0x7f, 0x7f, 0x7f), true}, {"saturated dark blue", QColor(0x00, 0x00, 0xc0), true},
        {"pale yellow", QColor(0xff, 0xff, 0xc0), false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(isDarkPalette(withWindow(row.window)), row.dark) << row.name;
}

// The engine hears of a dark desktop by a switch added to the user's own flags.
TEST(ColorScheme, DarkAddsTheSwitchOnceAndKeepsTheUsersFlags)
{
    const struct { const char *name, *current; bool dark; const char *wanted; } rows[] = {
        {"light keeps the user's flags", "--disable-gpu", false, "--disable-gpu"},
        {"light keeps even a dark switch the user set", "--force-dark-mode", false, "--force-dark-mode"},
        {"dark, none", "", true, "--force-dark-mode"},
        {"dark after the user's flags, blanks around", "  --disable-gpu --no-zygote ", true, "--disable-gpu --no-zygote --force-dark-mode"},
        {"dark, already there", "--a --force-dark-mode --b", true, "--a --force-dark-mode --b"},
        {"dark, a longer switch is another one", "--force-dark-mode-x", true, "--force-dark-mode-x --force-dark-mode"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(chromiumFlagsForScheme(QByteArray(row.current), row.dark), QByteArray(row.wanted)) << row.name;
}

// The pictures' lines are drawn on the button itself: dark on a light desktop,
// light on a dark one, taken from the palette when they are shown.
TEST(ColorScheme, ButtonPicturesKeepTheirLinesVisible)
{
    const QPalette saved = QGuiApplication::palette();
    auto gearLightness = [] {
        // A point in the gear's body, between its hole and its teeth.
        return buttonPicture(QStringLiteral("options")).pixmap(24, 24).toImage().pixelColor(12, 7).lightness();
    };
    QPalette dark = saved;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    QGuiApplication::setPalette(dark);
    const int onDark = gearLightness();
    QPalette light = saved;
    light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    light.setColor(QPalette::WindowText, Qt::black);
    QGuiApplication::setPalette(light);
    const int onLight = gearLightness();
    QGuiApplication::setPalette(saved);
    EXPECT_GT(onDark, 160);
    EXPECT_LT(onLight, 90);
}
