#include "core/favourites.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakes.h"
#include "support/tempfolder.h"
#include "support/wait.h"
#include "ui/remotecontrol.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

class RemoteControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QString &name : {u"One"_s, u"Two"_s, u"Three"_s})
            favourites.add(name, "http://"_L1 + name);
    }
    void TearDown() override { delete window.data(); }

    RemoteControl &open()
    {
        if (!window) {
            window = new RemoteControl(favourites, settings, shell, messages);
            opened = std::make_unique<QSignalSpy>(window.data(), &RemoteControl::openRequested);
        }
        window->showRestored();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        return *window;
    }
    template<typename T = QAbstractButton> T *control(const char *name) const { return window->findChild<T *>(QString::fromLatin1(name)); }
    QListWidget *list() const { return control<QListWidget>("favouritesList"); }
    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text());
        return names;
    }
    void pick(int row) const { QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(row)).center()); }
    // The addresses asked of the program since the last look.
    QStringList openedInProgram() const
    {
        QStringList urls;
        for (const QList<QVariant> &signal : *opened)
            urls.append(signal.first().toString());
        opened->clear();
        return urls;
    }
    void closeWith(const char *button)
    {
        control(button)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        WAIT_TRUE(window.isNull(), 5000);
    }

    Favourites favourites;
    MemorySettingsStore settings;
    FakeShell shell;
    FakeMessages messages;
    QPointer<RemoteControl> window;
    std::unique_ptr<QSignalSpy> opened;
};

} // namespace

TEST_F(RemoteControlTest, ListMirrorsTheTableForAsLongAsItIsOpen)
{
    open();
    EXPECT_EQ(listed(), (QStringList{u"One"_s, u"Two"_s, u"Three"_s}));
    favourites.add(u"One"_s, u"http://again"_s);
    EXPECT_EQ(listed().size(), 4) << "duplicates are listed";
    favourites.replaceAll({Favourite{u"Two"_s, u"http://Two"_s, {}, {}}});
    EXPECT_EQ(listed(), QStringList{u"Two"_s});
    closeWith("closeButton");
    favourites.add(u"Late"_s, u"http://late"_s);
    open();
    EXPECT_EQ(listed(), (QStringList{u"Two"_s, u"Late"_s}));
    EXPECT_TRUE(openedInProgram().isEmpty()) << "showing and rebuilding the list opens nothing";
}

// The browser choice is read at every pick: a change in the options counts at
// once. No browser can open the built-in list's addresses: those open in the
// program. A click on the selected entry opens it again.
TEST_F(RemoteControlTest, PickOpensInTheProgramOrInTheDefaultBrowser)
{
    favourites.add(u"Built in"_s, u"kestrelmoor://list/kestrelmoor/modlist/mods/gloom.htm"_s);
    open();
    const struct { const char *defBrw; int pick; bool inBrowser; } rows[] = { // defBrw nullptr: never saved
        {nullptr, 0, false}, {nullptr, 0, false}, {"1", 1, true}, {"0", 2, false}, {"2", 0, true}, {"x", 1, false}, {"1", 3, false}};
    for (const auto &row : rows) {
        if (row.defBrw)
            settings.setValue(Options::kApplication, Options::kSection, Options::kDefBrw, QString::fromLatin1(row.defBrw));
        shell.opened.clear();
        pick(row.pick);
        const QStringList url{favourites.row(row.pick).url};
        EXPECT_EQ(openedInProgram(), row.inBrowser ? QStringList() : url) << row.defBrw;
        EXPECT_EQ(shell.opened, row.inBrowser ? url : QStringList()) << row.defBrw;
        EXPECT_EQ(list()->currentRow(), row.pick) << "the entry stays selected";
    }
    EXPECT_TRUE(messages.shown.isEmpty());
    shell.succeed = false;
    pick(1);
    ASSERT_EQ(messages.shown.size(), 1) << "a browser that cannot start is reported";
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(messages.shown[0].text.contains(u"http://Two"_s));
}

// Walking through the list by keys opens nothing on the way (with the default
// browser chosen, each entry passed would start it); Enter or Space opens.
TEST_F(RemoteControlTest, KeysWalkTheListWithoutOpeningAndEnterOrSpaceOpens)
{
    open();
    pick(0);
    openedInProgram();
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(QApplication::focusWidget(), key);
    EXPECT_EQ(list()->currentRow(), 2);
    EXPECT_TRUE(openedInProgram().isEmpty());
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Up, Qt::Key_Space})
        QTest::keyClick(QApplication::focusWidget(), key);
    EXPECT_EQ(openedInProgram(), (QStringList{u"http://Three"_s, u"http://Three"_s, u"http://Two"_s}));
}

// "Show Mod List" asks for the main window. The always-on-top box leaves the
// window shown in its place; Minimize and Close both close the window, and the
// next showing makes it anew, on top again.
TEST_F(RemoteControlTest, ShowModListAndTheAlwaysOnTopBox)
{
    auto onTop = [this] {
        return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) && window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
    };
    open();
    QSignalSpy showMain(window.data(), &RemoteControl::showMainWindowRequested);
    control("showMainWindowButton")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    WAIT_TRUE(showMain.size() == 1, 2000);
    auto *box = control<QCheckBox>("alwaysOnTopBox");
    EXPECT_TRUE(box->isChecked() && onTop());
    const QPoint where = window->pos();
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    EXPECT_FALSE(onTop());
    EXPECT_TRUE(window->isVisible() && window->pos() == where) << "the window stays shown, in its place";
    window->showMinimized(); // by the window system
    EXPECT_FALSE(open().isMinimized());
    for (const char *button : {"minimizeButton", "closeButton"}) {
        closeWith(button);
        open();
        EXPECT_TRUE(control<QCheckBox>("alwaysOnTopBox")->isChecked() && onTop()) << button;
    }
}

TEST_F(RemoteControlTest, DraggingTheBackgroundWithTheLeftButtonAloneMovesIt)
{
    const struct { const char *name; Qt::MouseButton press; Qt::MouseButtons held; bool moves; } rows[] = {
        {"left", Qt::LeftButton, Qt::LeftButton, true}, {"right", Qt::RightButton, Qt::RightButton, false},
        {"both", Qt::LeftButton, Qt::LeftButton | Qt::RightButton, false}};
    open();
    const QPoint grab(70, 8), delta(30, 40);
    for (const auto &row : rows) {
        const QPoint from = window->pos(), global = window->mapToGlobal(grab);
        auto send = [&](QEvent::Type type, int step, Qt::MouseButton button, Qt::MouseButtons buttons) {
            QMouseEvent event(type, grab + delta * step / 3, global + delta * step / 3, button, buttons, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &event);
        };
        send(QEvent::MouseButtonPress, 0, row.press, row.held);
        for (int step = 1; step <= 3; ++step)
            send(QEvent::MouseMove, step, Qt::NoButton, row.held);
        send(QEvent::MouseButtonRelease, 3, row.press, Qt::NoButton);
        EXPECT_EQ(window->pos(), row.moves ? from + delta : from) << row.name;
    }
}

// The real program, ended the way a logout or "kill" ends it, still writes its
// favourites: a file with LF line ends comes back with CR LF.
TEST(Program, TerminateSignalSavesTheFavourites)
{
    TempFolder dir;
    const QString program = dir.file(u"kestrelmoor-modlist"_s);
    ASSERT_TRUE(QFile::copy(QStringLiteral(KML_PROGRAM_FILE), program));
    dir.write(u"mods.dat"_s, crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "http://127.0.0.1:9/q2.zip", "q2modlist", "welcome.htm"}));
    const QByteArray list = crlfLines({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena pack?http://127.0.0.1:9/a"});
    dir.write(u"q2modlist.dat"_s, list);
    dir.write(u"defmodlist.dat"_s, list);
    dir.write(u"favs.dat"_s, "Arena pack\nhttp://127.0.0.1:9/a\n \n\n");

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : {std::pair{u"QT_QPA_PLATFORM"_s, u"offscreen"_s}, {u"QTWEBENGINE_DISABLE_SANDBOX"_s, u"1"_s},
                                      {u"XDG_CONFIG_HOME"_s, dir.file(u"config"_s)}, {u"XDG_DATA_HOME"_s, dir.file(u"data"_s)}})
        env.insert(name, value);
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.setStandardOutputFile(QProcess::nullDevice());
    run.start(program, {});
    ASSERT_TRUE(run.waitForStarted(30000));

    // Start-up is done once the program has its own SIGTERM handler (SigCgt in /proc).
    auto catches = [&run] {
        QFile status(u"/proc/%1/status"_s.arg(run.processId()));
        const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
        const qsizetype at = text.indexOf("SigCgt:");
        return at >= 0 && (text.mid(at + 7, text.indexOf('\n', at) - at - 7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    };
    const QDeadlineTimer startUp(60000);
    while (!catches() && run.state() == QProcess::Running && !startUp.hasExpired())
        run.waitForFinished(50);
    ASSERT_TRUE(catches()) << "start-up did not finish, or the program ended on its own";

    ASSERT_EQ(::kill(pid_t(run.processId()), SIGTERM), 0);
    ASSERT_TRUE(run.waitForFinished(30000));
    EXPECT_EQ(std::pair(run.exitStatus(), run.exitCode()), std::pair(QProcess::NormalExit, 0));
    EXPECT_EQ(dir.read(u"favs.dat"_s), "Arena pack\r\nhttp://127.0.0.1:9/a\r\n \r\n\r\n");
}
