// The platform layer: the desktop's colour scheme, the shell, and the web engine as the program sets it up. The
// built-in list's scheme must be registered before the application object, and the engine reads the colour scheme once,
// when it starts: this program has its own main(), with a dark palette from the start, as a dark platform theme makes
// it.
#include "platform/colorscheme.h"
#include "platform/shell.h"
#include "platform/sitescheme.h"
#include "support/tempfolder.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>

using namespace Qt::StringLiterals;

TEST(ColorScheme, DarkIsAWindowColourDarkerThanMiddleGrey)
{
    for (const auto &[window, dark] : {std::pair{QColor(0xef, 0xef, 0xef), false}, {QColor(0x80, 0x80, 0x80), false},
                                       {QColor(0x7f, 0x7f, 0x7f), true}, {QColor(0x00, 0x00, 0xc0), true}, {QColor(0xff, 0xff, 0xc0), false}}) {
        QPalette palette;
        palette.setColor(QPalette::Window, window);
        EXPECT_EQ(isDarkPalette(palette), dark) << window.name().toStdString();
    }
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

TEST(Shell, HandsOnlyWebAddressesToTheBrowser)
{
    for (const auto &[url, web] : {std::pair{"http://example.test/mod.htm", true}, {"https://example.test/a?b=c", true},
                                   {"file:///etc/passwd", false}, {"mailto:x@example.test", false}, {"javascript:alert(1)", false},
                                   {"/usr/bin/xterm", false}, {"", false}, {"http://", false}, {"steam://run/2320", false}})
        EXPECT_EQ(Shell::isWebAddress(QString::fromLatin1(url)), web) << url;
}

// The site's own pages show its pictures, a page from the web cannot reach them, and on a dark desktop pages see
// prefers-color-scheme: dark.
TEST(WebPage, TheSiteSchemeServesTheSiteToItsOwnPagesAndNothingElse)
{
    // An image that reports in the page's title whether it could be shown.
    const QByteArray imageProbe = "<img src='kestrelmoor://list/kestrelmoor/dot.png' "
                                  "onload=\"document.title='loaded'\" onerror=\"document.title='blocked'\">";
    TempFolder root;
    root.write(u"site/kestrelmoor/index.htm"_s, "<title>Kestrelmoor</title>");
    root.write(u"site/kestrelmoor/pictures.htm"_s, "<title>pictures</title>" + imageProbe);
    root.write(u"site/kestrelmoor/modlist/welcome.htm"_s, "<title>Start</title>");
    root.write(u"site/kestrelmoor/scheme.htm"_s, "<script>document.title = matchMedia('(prefers-color-scheme: dark)').matches ? 'dark' : 'light';</script>");
    root.write(u"secret.htm"_s, "<title>Secret</title>");
    QImage dot(4, 4, QImage::Format_RGB32);
    dot.fill(Qt::red);
    dot.save(root.file(u"site/kestrelmoor/dot.png"_s));
    serveSiteScheme(QWebEngineProfile::defaultProfile(), root.file(u"site"_s), qApp);
    QWebEnginePage page;
    auto load = [&page](const QUrl &url, const QByteArray &html) { // true when the load succeeded
        QSignalSpy finished(&page, &QWebEnginePage::loadFinished);
        html.isEmpty() ? page.load(url) : page.setHtml(QString::fromLatin1(html), url);
        return finished.wait(30000) && finished.first().first().toBool();
    };
    const struct { const char *label, *url; bool loads; const char *title; QByteArray html = {}; } rows[] = {
        {"a page", "kestrelmoor://list/kestrelmoor/modlist/welcome.htm", true, "Start"},
        {"a folder: its index page", "kestrelmoor://list/kestrelmoor/", true, "Kestrelmoor"},
        {"a missing page", "kestrelmoor://list/kestrelmoor/none.htm", false, nullptr},
        {"outside the site's folder", "kestrelmoor://list/%2e%2e/secret.htm", false, nullptr},
        {"the site's pictures on its page", "kestrelmoor://list/kestrelmoor/pictures.htm", true, "loaded"},
        {"not on a page from the web", "http://web.test/", true, "blocked", "<title>web</title>" + imageProbe},
        {"the desktop's dark scheme", "kestrelmoor://list/kestrelmoor/scheme.htm", true, "dark"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(load(QUrl(QString::fromLatin1(row.url)), row.html), row.loads);
        if (row.loads)
            WAIT_EQ(page.title(), QString::fromLatin1(row.title), 10000);
        else
            EXPECT_NE(page.title(), u"Secret"_s);
    }
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    registerSiteScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    reportColorSchemeToWebPages(QApplication::palette());
    return RUN_ALL_TESTS();
}
