#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakewebview.h"
#include "support/printers.h"
#include "ui/fullscreenwindow.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

const QString kHome = QStringLiteral("http://list.test/kestrelmoor/modlist/welcome.htm");
const QString kModPage = QStringLiteral("http://mods.test/arena.htm");

// Stands in for the main window.
class FakeHost final : public FullScreenHost
{
public:
    QString addressText() const override { return address; }
    QString homeAddress() const override { return kHome; }
    void setViewmode(int mode) override { viewmode = mode; }
    void takeBackPage(const QString &url) override { takenBack.append(url); }

    QString address = kModPage;
    int viewmode = 2;
    QStringList takenBack;
};

class FullTest : public ::testing::Test
{
protected:
    FullScreenWindow &open()
    {
        window = new FullScreenWindow(host, views, settings);
        window->show();
        return *window;
    }
    FakeWebView &web() { return *views.views.last(); }
    QLineEdit *text1() { return window->findChild<QLineEdit *>(QStringLiteral("Text1")); }
    QProgressBar *prog() { return window->findChild<QProgressBar *>(QStringLiteral("prog")); }
    void click(const char *name) { window->findChild<QAbstractButton *>(QString::fromLatin1(name))->click(); }
    void deleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void TearDown() override { delete window.data(); }

    FakeHost host;
    FakeWebViewFactory views;
    MemorySettingsStore settings;
    QPointer<FullScreenWindow> window;
};

} // namespace

TEST_F(FullTest, OpensAtTheMainAddressOrAtHomeWithTheFullScreenOption)
{
    struct Row
    {
        const char *fullScreen; // nullptr: not stored
        QString expected;
    };
    const Row rows[] = {
        {nullptr, kModPage},
        {"0", kModPage},
        {"1", kHome},
        {"2", kModPage},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.fullScreen ? row.fullScreen : "absent");
        settings = MemorySettingsStore();
        if (row.fullScreen)
            settings.setValue(Options::kApplication, Options::kSection, Options::kFullScreen,
                                 QString::fromLatin1(row.fullScreen));
        open();
        EXPECT_EQ(web().navigations, QStringList{row.expected});
        EXPECT_EQ(text1()->text(), row.expected);
        delete window.data();
    }
}

TEST_F(FullTest, IsABorderlessMaximizedWindowWithItsOwnView)
{
    FullScreenWindow &w = open();
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(w.isMaximized());
    EXPECT_FALSE(w.isModal());
    EXPECT_EQ(views.views.size(), 1);
    EXPECT_EQ(w.web(), &web());
    EXPECT_FALSE(prog()->isVisible());
}

TEST_F(FullTest, ReturnHandsTheLastPageBackAndCloses)
{
    open();
    // A link followed inside the page.
    web().navigate(QStringLiteral("http://mods.test/next.htm"));
    web().reportProgress(10, 100);
    web().reportProgress(-1, 100);
    ASSERT_EQ(text1()->text(), QStringLiteral("http://mods.test/next.htm"));

    click("full");
    deleteClosed();
    EXPECT_EQ(host.viewmode, 1);
    EXPECT_EQ(host.takenBack, QStringList{QStringLiteral("http://mods.test/next.htm")});
    EXPECT_TRUE(window.isNull());
}

TEST_F(FullTest, ClosingAnotherWayGivesBrowsingBackWithoutThePage)
{
    open().close();
    deleteClosed();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(host.viewmode, 1);
    EXPECT_TRUE(host.takenBack.isEmpty());
}

TEST_F(FullTest, ButtonsDriveTheView)
{
    open();
    click("Command1"); // nothing to go back to: silently nothing
    EXPECT_EQ(web().locationUrl(), kModPage);

    text1()->setText(QStringLiteral("http://typed.test/"));
    QTest::keyClick(text1(), Qt::Key_Return);
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://typed.test/"));

    click("Command1");
    EXPECT_EQ(web().locationUrl(), kModPage);
    click("Command2");
    EXPECT_EQ(web().locationUrl(), QStringLiteral("http://typed.test/"));
    click("Command4");
    EXPECT_EQ(web().navigations.last(), kHome);
    click("Command5");
    EXPECT_EQ(web().refreshes, 1);
    click("Command7");
    EXPECT_EQ(web().stops, 1);
    EXPECT_EQ(host.viewmode, 2) << "browsing stays here";
}

TEST_F(FullTest, ProgressShowsTheBarOnlyWhileALoadIsInProgress)
{
    struct Row
    {
        int progress;
        int progressMax;
        bool visible;
    };
    const Row rows[] = {
        {0, 100, true}, {50, 100, true}, {100, 100, true}, {1, 1, true},
        {0, 0, false},  {5, 0, false},   {5, -1, false},   {-1, 100, false}, {101, 100, false},
    };
    open();
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.progress << " of " << row.progressMax);
        text1()->setText(QStringLiteral("being typed"));
        web().reportProgress(row.progress, row.progressMax);
        EXPECT_EQ(prog()->isVisible(), row.visible);
        if (row.visible) {
            EXPECT_EQ(prog()->maximum(), row.progressMax);
            EXPECT_EQ(prog()->value(), row.progress);
            EXPECT_EQ(prog()->geometry().topLeft().y(), text1()->geometry().topLeft().y()) << "over the address";
        }
        EXPECT_EQ(text1()->text(), kModPage) << "the field follows the view";
    }
}

TEST_F(FullTest, RemoteControlOpensAddressesHereMaximized)
{
    FullScreenWindow &w = open();
    w.showMinimized();
    w.showAddress(QStringLiteral("http://fav.test/"));
    EXPECT_TRUE(w.windowState().testFlag(Qt::WindowMaximized));
    EXPECT_FALSE(w.windowState().testFlag(Qt::WindowMinimized));
    EXPECT_EQ(text1()->text(), QStringLiteral("http://fav.test/"));
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://fav.test/"));
}

TEST(FullScreenLayout, FollowsTheWindowsSize)
{
    FullScreenLayout layout;
    layout.resize(12000, 9000);
    EXPECT_EQ(layout.rect(QStringLiteral("web")), QRectF(60, 480, 12000 - 120, 9000 - 480));
    EXPECT_EQ(layout.rect(QStringLiteral("full")), QRectF(12000 - 945 - 120, 90, 945, 315));
    EXPECT_EQ(layout.rect(QStringLiteral("Text1")), QRectF(2040, 105, 12000 - 2040 - 180 - 945 - 20, 300));
    EXPECT_EQ(layout.rect(QStringLiteral("prog")), QRectF(2025, 105, 12000 - 2040 - 180 - 945 - 20, 300));
    for (const char *button : {"Command1", "Command2", "Command4", "Command5", "Command7"})
        EXPECT_EQ(layout.rect(QString::fromLatin1(button)), FullScreenLayout().rect(QString::fromLatin1(button)));
}

TEST(FullScreenLayout, SkipsRulesThatWouldGiveNegativeSizes)
{
    struct Row
    {
        const char *name;
        double width;
        double height;
        bool webMoves;
        bool text1Resizes;
    };
    const Row rows[] = {
        {"large", 9000, 6000, true, true},
        {"too short for the view", 9000, 400, false, true},
        {"too narrow for the address", 3000, 6000, true, false},
        {"tiny", 100, 100, false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FullScreenLayout before;
        before.resize(8000, 5000);
        FullScreenLayout after = before;
        after.resize(row.width, row.height);
        EXPECT_EQ(after.rect(QStringLiteral("web")) != before.rect(QStringLiteral("web")), row.webMoves);
        EXPECT_EQ(after.rect(QStringLiteral("Text1")) != before.rect(QStringLiteral("Text1")), row.text1Resizes);
        EXPECT_EQ(after.rect(QStringLiteral("prog")).width(), after.rect(QStringLiteral("Text1")).width());
        EXPECT_DOUBLE_EQ(after.rect(QStringLiteral("full")).left(), row.width - 945 - 120);
    }
}

TEST_F(FullTest, RestoringAfterMinimizingKeepsTheLayout)
{
    FullScreenWindow &w = open();
    QTest::qWait(10);
    const QRect webBefore = w.web()->geometry();
    const QRect text1Before = text1()->geometry();
    w.showMinimized();
    w.showMaximized();
    QTest::qWait(10);
    EXPECT_EQ(w.web()->geometry(), webBefore);
    EXPECT_EQ(text1()->geometry(), text1Before);
    EXPECT_GT(webBefore.width(), 0);
}
