#include "platform/downloads.h"
#include "platform/webengineview.h"
#include "support/keyboardwalk.h"
#include "support/mainwindowtest.h"
#include "support/testhttpserver.h"
#include "support/wait.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

// The main window with the real Chromium view against pages on a local server.
class MainWindowOnWebEngineTest : public MainWindowTest
{
protected:
    static constexpr int kWait = 30000;

    void page(const QByteArray &path, const QByteArray &html)
    {
        server.route("/kestrelmoor/modlist/" + path, {.body = html, .contentType = "text/html"});
    }
    MainWindow &startOn(const QByteArray &welcome)
    {
        page("welcome.htm", welcome);
        dir.write(u"q2modlist.dat"_s, "[ValidHeader]\r\nDeathmatch\r\n---\r\nDeathmatch?Arena pack?" + modlist.toUtf8() + "mods/a.htm\r\n");
        dir.write(u"mods.dat"_s, twoListCatalogue(server.base()));
        return start(webEngineViews, server.base());
    }
    // Waits until the page at `url` has loaded and shows in the address field.
    void waitForPage(const QString &url)
    {
        WAIT_EQ(window->webView()->url().toString(), url, kWait);
        WAIT_TRUE(!control("loadProgress")->isVisible(), kWait);
        WAIT_EQ(control<QLineEdit>("addressField")->text(), url, kWait);
    }

    // The text of the link that has the page's focus, asked of the page itself.
    static QString activeLink(MainWindow &w)
    {
        auto *view = w.webView()->findChild<QWebEngineView *>();
        std::optional<QString> text;
        view->page()->runJavaScript(u"document.activeElement ? document.activeElement.textContent : ''"_s,
                                    [&](const QVariant &result) { text = result.toString(); });
        QTest::qWaitFor([&] { return text.has_value(); }, 5000);
        return text.value_or(QString());
    }

    TestHttpServer server;
    const QString modlist = server.base() + u"/kestrelmoor/modlist/"_s;
    WebEngineViewFactory webEngineViews;
};

// The start page is fetched once; a link in the tree, Back and Forward load their pages; a link that asks for a new
// window opens in the same view; an address that cannot be loaded shows the engine's error page and keeps the address.
TEST_F(MainWindowOnWebEngineTest, StartPageLinksHistoryNewWindowLinksAndTheAddressField)
{
    page("mods/a.htm", "<html><title>Arena</title><body>Arena</body></html>");
    page("mods/a.htm?new", "<html><title>Arena</title><body>Arena</body></html>");
    page("mods/blank.htm", "<html><body style='margin:0'><a href='a.htm?new' target='_blank' "
                           "style='display:block;width:100vw;height:100vh'>open</a></body></html>");
    MainWindow &w = startOn("<html><title>Welcome</title><body>Start</body></html>");
    const QString home = modlist + u"welcome.htm"_s, arena = modlist + u"mods/a.htm"_s;
    waitForPage(home);
    EXPECT_EQ(server.hits("/kestrelmoor/modlist/welcome.htm"), 1);
    clickRow(linkRow(u"Arena pack"_s));
    waitForPage(arena);
    click("backButton");
    waitForPage(home);
    click("forwardButton");
    waitForPage(arena);

    w.openAddress(modlist + u"mods/blank.htm"_s);
    waitForPage(modlist + u"mods/blank.htm"_s);
    // The page takes clicks once its renderer has laid it out: clicked until the link is followed. (The engine may
    // replace its drawing surface meanwhile: it is looked up for each click.)
    const QString blank = modlist + u"mods/blank.htm"_s;
    const auto clickFollowed = [&] {
        QWidget *surface = w.webView()->focusProxy() ? w.webView()->focusProxy()->focusProxy() : nullptr;
        if (w.webView()->url().toString() != blank)
            return true;
        if (surface)
            QTest::mouseClick(surface, Qt::LeftButton, {}, surface->rect().center());
        return QTest::qWaitFor([&] { return w.webView()->url().toString() != blank; }, 500);
    };
    WAIT_TRUE(clickFollowed(), kWait);
    waitForPage(arena + u"?new"_s);

    auto *address = control<QLineEdit>("addressField");
    address->setText(u"http://127.0.0.1:1/nothing-here"_s);
    QTest::keyClick(address, Qt::Key_Return);
    WAIT_TRUE(!control("loadProgress")->isVisible() && address->text().contains(u"nothing-here"_s), kWait);
    EXPECT_TRUE(messages.shown.isEmpty());
}

// Chromium's drawing surface appears only with the first page; Tab still reaches the page between the tree and the list
// chooser, walks its links and leaves it for the chooser, and Shift+Tab goes back the same way.
TEST_F(MainWindowOnWebEngineTest, TabReachesThePageInItsPlaceAndLeavesItForTheNextControl)
{
    MainWindow &w = startOn("<html><body><p>Start</p><a href='#one'>one</a> <a href='#two'>two</a></body></html>");
    waitForPage(modlist + u"welcome.htm"_s);
    const QStringList around = {u"modTree"_s, u"webView"_s, u"listChooser"_s};
    WAIT_EQ(tabChain(&w, around[0]).mid(0, 3), around, kWait);
    EXPECT_EQ(focusedControl(), around[0]);
    int inPage = 0;
    // Where the focus settles after each key: two Tabs in the page (its two links), one out.
    for (const auto &[backwards, reaches] : {std::pair{false, "webView"}, {false, "webView"}, {false, "listChooser"},
                                            {true, "webView"}, {true, "webView"}, {true, "modTree"}}) {
        QTest::keyClick(QApplication::focusWidget(), backwards ? Qt::Key_Backtab : Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        WAIT_EQ(focusedControl(), QString::fromLatin1(reaches), kWait);
        // Inside the page, the link the key reached has the page's focus before the next key goes.
        if (QString::fromLatin1(reaches) == u"webView"_s) {
            ++inPage;
            const char *link = (inPage % 2 == 1) != backwards ? "one" : "two";
            SCOPED_TRACE(inPage);
            WAIT_EQ(activeLink(w), QString::fromLatin1(link), kWait);
        }
    }
}

// The bytes saved are the bytes served, and the folder can be shown; a cancelled download leaves no partial file. Where
// ~/Downloads does not exist, the save dialog opens at home, not in the working folder.
TEST(Downloads, SavedBytesEqualTheServedOnesCancelLeavesNothingAndTheFolderIsDownloadsElseHome)
{
    TempFolder saveTo;
    QByteArray bytes(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131 + 7) & 0xff);
    TestHttpServer server;
    server.route("/files/mod.zip", {.body = bytes, .contentType = "application/zip"});
    // Announced whole, sent in part, then silence.
    server.route("/big.zip", {.kind = TestHttpServer::Answer::Stall, .body = QByteArray(50000000, 'x'), .sent = 64 * 1024,
                              .contentType = "application/octet-stream"});
    FakeShell shell;
    FakeMessages messages;
    QString suggested;
    Downloads downloads(QWebEngineProfile::defaultProfile(), shell, messages, [&](QWidget *, const QString &path) {
        suggested = path;
        return saveTo.file(QFileInfo(path).fileName());
    });
    QSignalSpy ended(&downloads, &Downloads::downloadEnded);
    WebEngineView view;
    view.load(QUrl(server.base() + u"/files/mod.zip"_s));
    WAIT_EQ(ended.size(), 1, 30000);
    EXPECT_TRUE(ended.first().at(1).toBool());
    EXPECT_TRUE(suggested.endsWith(u"/mod.zip"_s)) << suggested.toStdString();
    EXPECT_EQ(saveTo.read(u"mod.zip"_s), bytes);
    EXPECT_EQ(downloads.findChild<QLabel *>(u"amount"_s)->text(), QLocale().formattedDataSize(bytes.size()));
    downloads.findChild<QPushButton *>(u"showInFolder"_s)->click();
    EXPECT_EQ(shell.folders, QStringList{QFileInfo(saveTo.path()).absoluteFilePath()});
    EXPECT_TRUE(messages.shown.isEmpty());
    shell.succeed = false; // no file manager: said, in the window that has the program's icon
    downloads.findChild<QPushButton *>(u"showInFolder"_s)->click();
    EXPECT_EQ(messages.shown.size(), 1);
    EXPECT_FALSE(downloads.windowIcon().isNull());

    view.load(QUrl(server.url("/big.zip")));
    WAIT_TRUE(downloads.findChildren<QPushButton *>(u"cancel"_s).size() == 2, 30000);
    // Cancelled once the first bytes are on disk, so that there is a partial file to remove.
    WAIT_TRUE(QDir(saveTo.path()).entryList(QDir::Files | QDir::Hidden).size() > 1, 30000);
    downloads.findChildren<QPushButton *>(u"cancel"_s).last()->click();
    WAIT_EQ(ended.size(), 2, 30000);
    EXPECT_FALSE(ended.last().at(1).toBool());
    WAIT_EQ(QDir(saveTo.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"mod.zip"_s}, 30000);

    TempFolder home;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.file(u".config"_s)));
    const QString missing = Downloads::defaultFolder();
    QDir(home.path()).mkdir(u"Downloads"_s);
    const QString there = Downloads::defaultFolder();
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
    EXPECT_EQ(missing, QDir::cleanPath(home.path()));
    EXPECT_EQ(there, QDir::cleanPath(home.file(u"Downloads"_s)));
}
