#include "core/favourites.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/printers.h"
#include "support/tempfolder.h"
#include "support/wait.h"
#include "ui/remotecontrol.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QWindow>

#include <csignal>

namespace {

// Whoever browses, as the remote control sees it: records what it was asked.
struct FakeBrowsing
{
    int viewmode = 1;
    QStringList inMain;
    QStringList inFullscreen;
    int mainShown = 0;

    RemoteControlTargets targets()
    {
        return RemoteControlTargets{[this] { return viewmode; },
                                    [this](const QString &url) { inMain.append(url); },
                                    [this](const QString &url) { inFullscreen.append(url); },
                                    [this] { ++mainShown; }};
    }
};

class RemoteControlTest : public ::testing::Test
{
protected:
    ~RemoteControlTest() override { delete window.data(); }

    RemoteControl &open()
    {
        if (!window)
            window = new RemoteControl(favourites, settings, shell, messages, browsing.targets());
        window->showRestored();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return *window;
    }

    QListWidget *list() { return window->findChild<QListWidget *>(QStringLiteral("List1")); }
    template<typename T = QWidget> T *control(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    QStringList listed()
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text());
        return names;
    }
    void pick(int row)
    {
        QListWidget *l = list();
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).center());
    }
    void setDefBrw(const char *value)
    {
        settings.setValue(Options::kApplication, Options::kSection, Options::kDefBrw, QString::fromLatin1(value));
    }
    bool onTop() const
    {
        return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) &&
               (!window->windowHandle() || window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    }
    void waitDestroyed()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        WAIT_TRUE(window.isNull(), 5000);
    }

    Favourites favourites;
    MemorySettingsStore settings;
    FakeShell shell;
    FakeMessages messages;
    FakeBrowsing browsing;
    QPointer<RemoteControl> window;
};

} // namespace

TEST_F(RemoteControlTest, ListMirrorsTheTable)
{
    favourites.add(QStringLiteral("Arena pack"), QStringLiteral("http://a/1"));
    favourites.add(QStringLiteral("Arena pack"), QStringLiteral("http://a/1"));
    // Added before the window ever existed: listed once each, in order.
    open();
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Arena pack"), QStringLiteral("Arena pack")}));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DorOdor - remote control"));
    EXPECT_EQ(window->size(), QSize(148, 272));

    favourites.add(QStringLiteral("Big maps"), QStringLiteral("http://a/2"));
    EXPECT_EQ(listed().size(), 3);
    EXPECT_EQ(listed().last(), QStringLiteral("Big maps"));

    favourites.replaceAll({Favourite{QStringLiteral("Big maps"), QStringLiteral("http://a/2"), {}, {}},
                           Favourite{QStringLiteral("Arena pack"), QStringLiteral("http://a/1"), {}, {}}});
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Big maps"), QStringLiteral("Arena pack")}));

    // Closed and added to while closed: the next showing lists the table afresh.
    control<QAbstractButton>("Image1")->click();
    waitDestroyed();
    favourites.add(QStringLiteral("Late"), QStringLiteral("http://late"));
    open();
    EXPECT_EQ(listed(),
              (QStringList{QStringLiteral("Big maps"), QStringLiteral("Arena pack"), QStringLiteral("Late")}));
}

TEST_F(RemoteControlTest, PickOpensWhereTheOptionsSayReadingThemAtEveryPick)
{
    favourites.add(QStringLiteral("Blanks"), QStringLiteral(" http://a/1 "));
    favourites.add(QStringLiteral("Two"), QStringLiteral("http://a/2"));
    favourites.add(QStringLiteral("Three"), QStringLiteral("http://a/3"));
    open();

    struct Row
    {
        const char *name;
        const char *defBrw; // nullptr: never saved
        int viewmode;
        int pick;
        QStringList inMain;
        QStringList inFullscreen;
        QStringList inBrowser;
    } rows[] = {
        {"absent option, main window browses", nullptr, 1, 0, {QStringLiteral(" http://a/1 ")}, {}, {}},
        {"0, fullscreen window browses", "0", 2, 1, {}, {QStringLiteral("http://a/2")}, {}},
        {"1 opens the default browser", "1", 1, 2, {}, {}, {QStringLiteral("http://a/3")}},
        {"2 also opens the default browser", "2", 2, 0, {}, {}, {QStringLiteral(" http://a/1 ")}},
        {"not a number counts as 0", "x", 1, 1, {QStringLiteral("http://a/2")}, {}, {}},
    };
    for (const Row &row : rows) {
        if (row.defBrw)
            setDefBrw(row.defBrw);
        browsing = FakeBrowsing{};
        browsing.viewmode = row.viewmode;
        shell.opened.clear();
        pick(row.pick);
        EXPECT_EQ(browsing.inMain, row.inMain) << row.name;
        EXPECT_EQ(browsing.inFullscreen, row.inFullscreen) << row.name;
        EXPECT_EQ(shell.opened, row.inBrowser) << row.name;
        EXPECT_EQ(list()->currentRow(), row.pick) << row.name << ": the entry stays selected";
        EXPECT_TRUE(window->isVisible()) << row.name;
    }
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(RemoteControlTest, ClickingTheSelectedEntryOpensItAgain)
{
    favourites.add(QStringLiteral("One"), QStringLiteral("http://1"));
    favourites.add(QStringLiteral("Two"), QStringLiteral("http://2"));
    open();
    pick(1);
    pick(1);
    pick(0);
    EXPECT_EQ(browsing.inMain, (QStringList{QStringLiteral("http://2"), QStringLiteral("http://2"), QStringLiteral("http://1")}));

    // Moving through the list with the keys opens nothing on the way (with the
    // default browser chosen, every entry passed would start it); Enter opens
    // the entry reached.
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(browsing.inMain.size(), 3);
    QTest::keyClick(list(), Qt::Key_Return);
    EXPECT_EQ(browsing.inMain.last(), QStringLiteral("http://2"));
    EXPECT_EQ(browsing.inMain.size(), 4);
}

TEST_F(RemoteControlTest, ShowingOrRebuildingTheListOpensNothing)
{
    favourites.add(QStringLiteral("One"), QStringLiteral("http://1"));
    open();
    list()->setFocus(); // focus gives the list a current item, but selects nothing
    favourites.replaceAll(favourites.rows());
    favourites.add(QStringLiteral("Two"), QStringLiteral("http://2"));
    EXPECT_TRUE(browsing.inMain.isEmpty());
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(RemoteControlTest, BrowserThatCannotStartIsReported)
{
    favourites.add(QStringLiteral("One"), QStringLiteral("http://1"));
    setDefBrw("1");
    shell.succeed = false;
    open();
    pick(0);
    EXPECT_EQ(shell.opened, QStringList{QStringLiteral("http://1")});
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("http://1")));
    EXPECT_TRUE(browsing.inMain.isEmpty());
}

TEST_F(RemoteControlTest, AlwaysOnTopFollowsItsCheckBox)
{
    open();
    auto *check = control<QCheckBox>("Check1");
    EXPECT_TRUE(check->isChecked());
    EXPECT_TRUE(onTop());
    const QPoint where = window->pos();

    QTest::mouseClick(check, Qt::LeftButton, {}, check->rect().center());
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->isVisible()) << "the window keeps its place and stays shown";
    EXPECT_EQ(window->pos(), where);

    QTest::mouseClick(check, Qt::LeftButton, {}, check->rect().center());
    EXPECT_TRUE(onTop());
    EXPECT_TRUE(window->isVisible());

    // Unchecked, closed and shown again: on top and checked again.
    check->setChecked(false);
    control<QAbstractButton>("Image1")->click();
    waitDestroyed();
    open();
    EXPECT_TRUE(control<QCheckBox>("Check1")->isChecked());
    EXPECT_TRUE(onTop());
}

TEST_F(RemoteControlTest, CloseAndMinimizeBothCloseTheWindow)
{
    favourites.add(QStringLiteral("One"), QStringLiteral("http://1"));
    for (const char *button : {"Image1", "Image2"}) {
        open();
        control<QAbstractButton>(button)->click();
        waitDestroyed();
        EXPECT_EQ(favourites.count(), 1) << button;
    }
    EXPECT_EQ(browsing.mainShown, 0);
    EXPECT_TRUE(browsing.inMain.isEmpty());
}

TEST_F(RemoteControlTest, ShowModListBringsTheMainWindowBack)
{
    open();
    QAbstractButton *image3 = control<QAbstractButton>("Image3");
    EXPECT_EQ(image3->toolTip(), QStringLiteral("Show Mod List"));
    QTest::mouseClick(image3, Qt::LeftButton);
    EXPECT_EQ(browsing.mainShown, 1);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(RemoteControlTest, ShowingAgainRestoresTheSameWindow)
{
    RemoteControl &first = open();
    first.showMinimized();
    WAIT_TRUE(first.isMinimized(), 5000);
    RemoteControl &again = open();
    EXPECT_EQ(&again, &first);
    EXPECT_FALSE(again.isMinimized());
    EXPECT_TRUE(again.isVisible());
}

TEST_F(RemoteControlTest, DraggingTheBackgroundWithTheLeftButtonAloneMovesTheWindow)
{
    struct Row
    {
        const char *name;
        Qt::MouseButton press;
        Qt::MouseButtons held;
        bool moves;
    } rows[] = {
        {"left button", Qt::LeftButton, Qt::LeftButton, true},
        {"right button", Qt::RightButton, Qt::RightButton, false},
        {"both buttons", Qt::LeftButton, Qt::LeftButton | Qt::RightButton, false},
    };
    open();
    for (const Row &row : rows) {
        const QPoint from = window->pos();
        const QPoint grab(70, 8); // the title strip of the background
        const QPoint delta(30, 40);
        const QPoint globalGrab = window->mapToGlobal(grab);
        QMouseEvent press(QEvent::MouseButtonPress, grab, globalGrab, row.press, row.held, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &press);
        for (int step = 1; step <= 3; ++step) {
            const QPoint at = grab + delta * step / 3;
            QMouseEvent move(QEvent::MouseMove, at, globalGrab + delta * step / 3, Qt::NoButton,
                             row.held, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &move);
        }
        QMouseEvent release(QEvent::MouseButtonRelease, grab, globalGrab + delta, row.press, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(window, &release);
        EXPECT_EQ(window->pos(), row.moves ? from + delta : from) << row.name;
    }
}

#ifdef KML_PROGRAM_FILE
namespace {

// True once the process has its own handler for the signal, read from
// /proc/<pid>/status: the program installs it when start-up is done.
bool catches(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

} // namespace

// The real program, ended the way a logout or "kill" ends it, still writes its
// favourites: a file with LF line ends comes back with CR LF.
TEST(ProgramEnd, TerminateSignalSavesTheFavourites)
{
    TempFolder dir;
    const QString program = dir.file(QStringLiteral("kestrelmoor-modlist"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KML_PROGRAM_FILE), program));
    dir.write(QStringLiteral("mods.dat"),
              crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "http://127.0.0.1:9/q2.zip", "q2modlist", "welcome.htm"}));
    const QByteArray list = crlfLines({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena pack?http://127.0.0.1:9/a"});
    dir.write(QStringLiteral("q2modlist.dat"), list);
    dir.write(QStringLiteral("defmodlist.dat"), list);
    dir.write(QStringLiteral("favs.dat"), "Arena pack\nhttp://127.0.0.1:9/a\n \n\n");

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.setStandardOutputFile(QProcess::nullDevice());
    run.start(program, {});
    ASSERT_TRUE(run.waitForStarted(30000));

    const QDeadlineTimer startUp(60000);
    while (!catches(run.processId(), SIGTERM) && run.state() == QProcess::Running && !startUp.hasExpired())
        run.waitForFinished(50);
    ASSERT_EQ(run.state(), QProcess::Running) << "the program ended on its own";
    ASSERT_TRUE(catches(run.processId(), SIGTERM)) << "start-up did not finish";

    ASSERT_EQ(::kill(pid_t(run.processId()), SIGTERM), 0);
    ASSERT_TRUE(run.waitForFinished(30000));
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_EQ(dir.read(QStringLiteral("favs.dat")), "Arena pack\r\nhttp://127.0.0.1:9/a\r\n \r\n\r\n");
}
#else
TEST(ProgramEnd, TerminateSignalSavesTheFavourites)
{
    GTEST_SKIP() << "the build did not say where the program is (KML_PROGRAM_FILE)";
}
#endif
