// The windows beside the main one: the remote control and the dialogs, each over the fakes it needs.
#include "core/favourites.h"
#include "core/modlistloader.h"
#include "core/modtreemodel.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakes.h"
#include "support/tempfolder.h"
#include "support/wait.h"
#include "ui/aboutdialog.h"
#include "ui/favouritesdialog.h"
#include "ui/finddialog.h"
#include "ui/installdialog.h"
#include "update/zipbuilder.h"
#include "ui/optionsdialog.h"
#include "ui/remotecontrol.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// Favourites named as in "A B C", each at http://<name>.
QList<Favourite> favs(const QString &names)
{
    QList<Favourite> out;
    for (const QString &name : names.split(u' ', Qt::SkipEmptyParts))
        out.append(Favourite{name, "http://"_L1 + name, {}, {}});
    return out;
}

// One window at a time, shown without blocking the test and deleted after it.
template<typename Window> class OneWindowTest : public ::testing::Test
{
protected:
    void TearDown() override { delete window.data(); }
    void show(Window *made) { delete window.data(), (window = made)->show(); }
    template<typename T = QAbstractButton> T *control(const char *name) const { return window->template findChild<T *>(QString::fromLatin1(name)); }
    void press(const char *button) const { control(button)->click(); }
    // These windows delete themselves when they close.
    bool closed() const { return QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete), window.isNull(); }
    QListWidget *list() const { return control<QListWidget>("favouritesList"); }
    void select(int row) const { QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(row)).center()); }
    // The favourites list as shown, "*" after the selected entry's name.
    QString listed() const
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text() + (list()->item(i)->isSelected() ? "*"_L1 : ""_L1));
        return names.join(u' ');
    }

    QPointer<Window> window;
    Favourites favourites;
    MemorySettingsStore settings;
    FakeShell shell;
    FakeMessages messages;
};

class RemoteControlTest : public OneWindowTest<RemoteControl>
{
protected:
    void SetUp() override { favourites.replaceAll(favs(u"One Two Three"_s)); }
    RemoteControl &open()
    {
        if (!window) {
            show(new RemoteControl(favourites, settings, shell, messages));
            opened = std::make_unique<QSignalSpy>(window.data(), &RemoteControl::openRequested);
        }
        window->showRestored();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        return *window;
    }
    // The addresses asked of the program since the last look.
    QStringList openedInProgram() const
    {
        QStringList urls;
        for (const QList<QVariant> &signal : *opened)
            urls.append(signal.first().toString());
        return opened->clear(), urls;
    }
    void closeWith(const char *button)
    {
        press(button);
        WAIT_TRUE(closed(), 5000);
    }

    std::unique_ptr<QSignalSpy> opened;
};

} // namespace

TEST_F(RemoteControlTest, ListMirrorsTheTableForAsLongAsItIsOpen)
{
    open();
    favourites.add(u"One"_s, u"http://again"_s);
    EXPECT_EQ(listed(), u"One Two Three One"_s) << "duplicates are listed";
    favourites.replaceAll(favs(u"Two"_s));
    EXPECT_EQ(listed(), u"Two"_s);
    closeWith("closeButton");
    favourites.add(u"Late"_s, u"http://late"_s);
    open();
    EXPECT_EQ(listed(), u"Two Late"_s);
    EXPECT_TRUE(openedInProgram().isEmpty()) << "showing and rebuilding the list opens nothing";
}

// The browser choice is read at every pick. No browser can open the built-in list's addresses: those open in the
// program. A click on the selected entry opens it again. Walking the list by keys opens nothing on the way (each entry
// passed would start the browser); Enter or Space opens.
TEST_F(RemoteControlTest, PickOpensInTheProgramOrInTheDefaultBrowserAndKeysOpenOnlyAtEnterOrSpace)
{
    favourites.add(u"Built in"_s, u"kestrelmoor://list/kestrelmoor/modlist/mods/gloom.htm"_s);
    open();
    const struct { const char *defBrw; int pick; bool inBrowser; } rows[] = { // defBrw nullptr: never saved
        {nullptr, 0, false}, {nullptr, 0, false}, {"1", 1, true}, {"0", 2, false}, {"2", 0, true}, {"x", 1, false}, {"1", 3, false}};
    for (const auto &row : rows) {
        if (row.defBrw)
            settings.setValue(Options::kApplication, Options::kSection, Options::kUseDefaultBrowser, QString::fromLatin1(row.defBrw));
        shell.opened.clear();
        select(row.pick);
        const QStringList url{favourites.row(row.pick).url};
        EXPECT_EQ(openedInProgram(), row.inBrowser ? QStringList() : url) << row.defBrw;
        EXPECT_EQ(shell.opened, row.inBrowser ? url : QStringList()) << row.defBrw;
        EXPECT_EQ(list()->currentRow(), row.pick) << "the entry stays selected";
    }
    EXPECT_TRUE(messages.shown.isEmpty());
    shell.succeed = false;
    select(1);
    ASSERT_EQ(messages.shown.size(), 1) << "a browser that cannot start is reported";
    EXPECT_TRUE(messages.shown[0].icon == QMessageBox::Warning && messages.shown[0].text.contains(u"http://Two"_s));

    settings.setValue(Options::kApplication, Options::kSection, Options::kUseDefaultBrowser, u"0"_s);
    select(0);
    openedInProgram();
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(QApplication::focusWidget(), key);
    EXPECT_EQ(list()->currentRow(), 2);
    EXPECT_TRUE(openedInProgram().isEmpty());
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Up, Qt::Key_Space})
        QTest::keyClick(QApplication::focusWidget(), key);
    EXPECT_EQ(openedInProgram(), (QStringList{u"http://Three"_s, u"http://Three"_s, u"http://Two"_s}));
}

// "Show Mod List" asks for the main window. The always-on-top box leaves the window shown in its place; Minimize and
// Close both close the window, and the next showing makes it anew, on top again.
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

// The dialog proposes the archive's top folder as the game's name and warns of a Windows-only game library; the install
// runs on a worker thread under the name as edited, and the dialog closes when it is done.
TEST(InstallDialogTest, InstallsUnderTheEditedNameAndCloses)
{
    TempFolder dir;
    dir.write(u"arena.zip"_s, buildZip({ZipEntry::file("Arena/PAK0.PAK", "pak"), ZipEntry::file("Arena/gamex86.dll", "mz")}));
    const QPointer<InstallDialog> dialog = new InstallDialog({{}, dir.file(u"mods"_s), {}, {}}, dir.file(u"arena.zip"_s),
                                                             u"Rocket Arena"_s, u"http://r/1"_s);
    dialog->show();
    auto *name = dialog->findChild<QLineEdit *>(u"gameNameField"_s);
    EXPECT_EQ(name->text(), u"arena"_s);
    EXPECT_TRUE(dialog->findChild<QLabel *>(u"warningsLabel"_s)->text().contains(u"gamex86.dll"_s));
    name->setText(u"ra2"_s);
    dialog->findChild<QPushButton *>(u"installButton"_s)->click();
    WAIT_TRUE((QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete), dialog.isNull()), 10000);
    EXPECT_EQ(dir.read(u"mods/ra2/pak0.pak"_s), "pak");
}

class FavouritesDialogTest : public OneWindowTest<FavouritesDialog>
{
protected:
    void open(const QString &names) { favourites.replaceAll(favs(names)), open(); }
    void open()
    {
        replaced = std::make_unique<QSignalSpy>(&favourites, &Favourites::replaced);
        show(new FavouritesDialog(favourites));
    }
    QLineEdit *field(const char *name) const { return control<QLineEdit>(name); }
    QString fields() const { return field("nameField")->text() + u' ' + field("urlField")->text(); }
    void retype(const char *name, const QString &text) const
    {
        field(name)->setFocus();
        field(name)->selectAll();
        QTest::keyClicks(field(name), text);
    }

    std::unique_ptr<QSignalSpy> replaced;
};

TEST_F(FavouritesDialogTest, EditsShowAtOnceAndMovesKeepTheEntrySelected)
{
    open(u"A B C"_s);
    EXPECT_EQ(listed() + u' ' + fields(), u"A* B C A http://A"_s);
    select(1);
    retype("nameField", u"Huge"_s);
    QTest::keyClick(field("nameField"), Qt::Key_Backspace);
    EXPECT_EQ(listed(), u"A Hug* C"_s) << "the list follows each key";
    EXPECT_EQ(field("nameField")->cursorPosition(), 3) << "the caret stays where the user typed";
    retype("urlField", u"http://h/"_s);
    select(0);
    select(1);
    EXPECT_EQ(field("urlField")->text(), u"http://h/"_s) << "an entry keeps its edits";
    for (const auto &[button, after] : {std::pair{"moveUpButton", "Hug* A C"}, {"moveUpButton", "Hug* A C"},
                                        {"moveDownButton", "A Hug* C"}, {"moveDownButton", "A C Hug*"}, {"moveDownButton", "A C Hug*"}}) {
        press(button);
        EXPECT_EQ(listed(), QString::fromLatin1(after)) << button;
        const qsizetype at = listed().split(u' ').indexOf(u"Hug*"_s);
        EXPECT_EQ(std::pair(control("moveUpButton")->isEnabled(), control("moveDownButton")->isEnabled()), std::pair(at > 0, at < 2))
            << "a move only where there is room that way: " << after;
    }
    EXPECT_EQ(favourites.names(), (QStringList{"A", "B", "C"})) << "the table waits for Ok";
    press("okButton");
    EXPECT_EQ(favourites.rows(), (favs(u"A C"_s) << Favourite{"Hug", "http://h/", {}, {}}));
}

// The deleted entry's texts stay in the fields, tied to nothing: typing there changes no entry, wherever the deleted
// entry was.
TEST_F(FavouritesDialogTest, DeleteLeavesNothingSelectedAndTheFieldsTiedToNothing)
{
    for (const auto &[table, row, left] : {std::tuple{"A B C D", 1, "A C D"}, {"A B C D", 3, "A B C"}, {"A B C D", 0, "B C D"}, {"A", 0, ""}}) {
        open(QString::fromLatin1(table));
        select(row);
        const QString deleted = favourites.row(row).name;
        press("deleteButton");
        EXPECT_EQ(listed(), QString::fromLatin1(left)) << table << ' ' << row;
        EXPECT_EQ(fields(), deleted + " http://"_L1 + deleted);
        retype("nameField", u"Ghost"_s);
        retype("urlField", u"http://ghost/"_s);
        for (const char *button : {"moveUpButton", "deleteButton", "okButton"})
            press(button);
        EXPECT_EQ(favourites.rows(), favs(QString::fromLatin1(left))) << table << ' ' << row;
    }
}

TEST_F(FavouritesDialogTest, AddMakesANewEntryUpToTheTablesSize)
{
    open(QString());
    retype("nameField", u"typed"_s);
    EXPECT_EQ(list()->count(), 0) << "typing with nothing selected changes nothing";
    press("addButton");
    EXPECT_EQ(listed() + u' ' + fields(), u"New shortcut* New shortcut http://"_s);
    EXPECT_EQ(window->focusWidget(), field("nameField")) << "the new entry is named next";
    QStringList fifty;
    for (int i = 0; i < 50; ++i)
        fifty.append(QString::number(i));
    open(fifty.join(u' '));
    press("addButton");
    EXPECT_EQ(std::pair(list()->count(), control("addButton")->isEnabled()), std::pair(51, false));
    select(0);
    press("deleteButton");
    EXPECT_TRUE(control("addButton")->isEnabled());
    press("okButton");
    EXPECT_EQ(std::pair(favourites.count(), favourites.row(49).name), std::pair(50, u"New shortcut"_s));
}

// Ok (or Enter anywhere) makes the edited copy the table; Cancel and the close box drop it; Escape is bound to nothing,
// so a stray key drops no edits.
TEST_F(FavouritesDialogTest, OkOrEnterKeepTheEditsCancelOrTheCloseBoxDropThem)
{
    auto enterIn = [](QWidget *widget) { widget->setFocus(), QTest::keyClick(widget, Qt::Key_Return); };
    const struct { const char *name; std::function<void()> leave; bool kept; } rows[] = {
        {"Ok", [this] { press("okButton"); }, true}, {"Enter in the list", [&] { enterIn(list()); }, true},
        {"Enter in the name", [&] { enterIn(field("nameField")); }, true}, {"Enter in the url", [&] { enterIn(field("urlField")); }, true},
        {"Cancel", [this] { press("cancelButton"); }, false}, {"close box", [this] { window->close(); }, false}};
    for (const auto &row : rows) {
        open(u"A B C"_s);
        select(1);
        press("moveUpButton");
        QTest::keyClick(list(), Qt::Key_Escape);
        EXPECT_TRUE(window->isVisible()) << row.name;
        row.leave();
        EXPECT_FALSE(window->isVisible()) << row.name;
        EXPECT_EQ(window->result(), row.kept ? QDialog::Accepted : QDialog::Rejected) << row.name;
        EXPECT_EQ(favourites.names().join(u' '), row.kept ? u"B A C"_s : u"A B C"_s) << row.name;
        EXPECT_EQ(replaced->size(), row.kept ? 1 : 0) << row.name;
    }
}

TEST_F(FavouritesDialogTest, UntouchedEntriesKeepTheirBytesInTheFile)
{
    TempFolder dir;
    dir.write(u"favs.dat"_s, "Caf\xe9\r\nhttp://c/\xe9\r\nZ\xfc rich\r\nhttp://z\r\n");
    favourites.load(dir.file(u"favs.dat"_s));
    open();
    select(1);
    press("moveUpButton");
    select(1);
    retype("urlField", u"http://c/new"_s);
    press("okButton");
    ASSERT_TRUE(favourites.save(dir.file(u"favs.dat"_s)).ok);
    EXPECT_EQ(dir.read(u"favs.dat"_s), "Z\xfc rich\r\nhttp://z\r\nCaf\xe9\r\nhttp://c/new\r\n");
}

class OptionsDialogTest : public OneWindowTest<OptionsDialog>
{
protected:
    void open() { show(new OptionsDialog(settings, messages)); }
    QCheckBox *box(const char *name) const { return control<QCheckBox>(name); }
    // "10110": the boxes in the order in which Ok writes their options.
    QString states() const
    {
        QString out;
        for (const char *name : {"showRemoteAtStartupBox", "fullScreenAtStartupBox", "maximizedAtStartupBox", "remoteOnlyAtStartupBox", "defaultBrowserBox"})
            out += box(name)->isChecked() ? u'1' : u'0';
        return out;
    }
    // The five options as stored (after `first`), "-" for one that is not.
    QString stored(const QString &first = {}) const
    {
        QString out;
        for (const QString &key : {first, Options::kShowRemoteControl, Options::kStartFullScreen, Options::kStartMaximized, Options::kRemoteControlOnly, Options::kUseDefaultBrowser})
            out += key.isEmpty() ? QString() : settings.value(Options::kApplication, Options::kSection, key, u"-"_s);
        return out;
    }
};

// Ok, or Enter, saves all five options, the disabled sub-option too; Cancel, Escape and the close box save nothing. A
// failed save is said, and the dialog stays open with the choices for another try.
TEST_F(OptionsDialogTest, OkSavesAllFiveAndEveryOtherWayOutNothing)
{
    const struct { const char *name; std::function<void()> leave; const char *stored; } rows[] = {
        {"Ok", [this] { press("okButton"); }, "00111"}, {"Enter", [this] { QTest::keyClick(window, Qt::Key_Return); }, "00111"},
        {"Cancel", [this] { press("cancelButton"); }, "--1--"}, {"Escape", [this] { QTest::keyClick(window, Qt::Key_Escape); }, "--1--"},
        {"close box", [this] { window->close(); }, "--1--"}};
    for (const auto &row : rows) {
        settings = MemorySettingsStore();
        settings.setValue(Options::kApplication, Options::kSection, Options::kStartMaximized, u"1"_s);
        open();
        for (const char *name : {"showRemoteAtStartupBox", "remoteOnlyAtStartupBox", "showRemoteAtStartupBox", "defaultBrowserBox"})
            box(name)->click();
        EXPECT_TRUE(!box("remoteOnlyAtStartupBox")->isEnabled() && box("remoteOnlyAtStartupBox")->isChecked()) << "disabled, not cleared";
        row.leave();
        EXPECT_TRUE(closed()) << row.name;
        EXPECT_EQ(stored(), QString::fromLatin1(row.stored)) << row.name;
        open();
        EXPECT_EQ(states(), QString(row.stored).replace(u'-', u'0')) << row.name << ": each box shows its option";
        EXPECT_EQ(box("remoteOnlyAtStartupBox")->isEnabled(), row.stored[0] == '1') << row.name;
    }
    settings = MemorySettingsStore();
    settings.setWritable(false);
    open();
    box("fullScreenAtStartupBox")->click();
    press("okButton");
    EXPECT_FALSE(closed());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(std::pair(messages.shown[0].icon, states()), std::pair(QMessageBox::Warning, u"01000"_s)) << "the choice is kept";
    settings.setWritable(true);
    press("okButton");
    EXPECT_TRUE(closed());
    EXPECT_EQ(stored(), u"01000"_s);
}

// The list server (Alt+L): empty for the built-in list, else a web address with a host, stored without the slashes at
// its end. Anything else is refused at Ok, and nothing is saved until it is put right.
TEST_F(OptionsDialogTest, TheListServerIsAWebAddressOrEmpty)
{
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>("listServerField")) << "its label's & key moves to the field";
    const std::pair<const char *, const char *> rows[] = { // typed, stored after Ok (nullptr: refused)
        {"", ""}, {" https://mirror.test:8080/lists/ ", "https://mirror.test:8080/lists"}, {"ftp://mirror.test", nullptr},
        {"mirror.test", nullptr}, {"http://", nullptr}, {"kestrelmoor://list", nullptr}};
    for (const auto &[typed, saved] : rows) {
        settings = MemorySettingsStore();
        messages.shown.clear();
        open();
        control<QLineEdit>("listServerField")->setText(QString::fromLatin1(typed));
        press("okButton");
        EXPECT_EQ(std::pair(closed(), messages.shown.size()), std::pair(saved != nullptr, qsizetype(saved ? 0 : 1))) << typed;
        EXPECT_EQ(stored(Options::kListServer), saved ? QString::fromLatin1(saved) + "00000"_L1 : u"------"_s) << typed << ": the others wait too";
        if (saved) {
            open();
            EXPECT_EQ(control<QLineEdit>("listServerField")->text(), QString::fromLatin1(saved)) << "the field shows what is stored";
        }
    }
}

// Each press examines the nodes from the search position on, in the tree as it is at that moment. The dialog reports
// the node found; the main window selects it.
class FindDialogTest : public OneWindowTest<FindDialog>
{
protected:
    void load(std::initializer_list<const char *> lines)
    {
        ModTree tree;
        parseModList(crlfLines(lines), tree);
        model.setTree(std::move(tree));
    }
    // Types the text, presses "Find next" and returns the name found, or "" when nothing was.
    QString next(const char *text)
    {
        control<QLineEdit>("searchField")->setText(QString::fromLatin1(text));
        QSignalSpy found(window.data(), &FindDialog::nodeFound);
        press("findNextButton");
        return found.isEmpty() ? QString() : model.tree().text(found.first().first().toInt());
    }

    ModTreeModel model;
};

TEST_F(FindDialogTest, StepsThroughMatchingLinkNamesWithoutWrappingInTheTreeAsItIsNow)
{
    // Folders Weapons and Maps (nodes 0 and 1), then Arena One (2) and Big Arena (3).
    load({"[ValidHeader]", "Weapons", "Maps", "---", "Weapons?Arena One?http://w/1", "Maps?Big Arena?http://m/1"});
    show(new FindDialog(model));
    EXPECT_EQ(next("ARENA"), u"Arena One"_s);
    EXPECT_EQ(next("ARENA"), u"Big Arena"_s);
    EXPECT_EQ(next("ARENA"), QString()) << "no wrap to the top";
    control<QLineEdit>("searchField")->setText(u"ARENAx"_s);
    EXPECT_EQ(next("ARENA"), u"Arena One"_s) << "a change of text, even one taken back, starts again";
    for (const char *text : {"maps", "Arena One and more", "http", " arena one ", "Arena*"}) {
        EXPECT_EQ(next(text) + next(text), QString()) << text << ": folders, addresses, no trimming, no wildcards";
        EXPECT_EQ(window->searchPosition(), 1) << text;
    }
    // A list switched while the dialog is open is searched from the same position on.
    EXPECT_EQ(next("arena"), u"Arena One"_s);
    load({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena Zero?u", "Deathmatch?Old Arena?u", "Deathmatch?Arena Two?u"});
    EXPECT_EQ(next("arena"), u"Arena Two"_s) << "node 3 is the first examined";
    load({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena?u"});
    EXPECT_EQ(next("arena"), QString()) << "shorter than the search position";
    model.setTree(ModTree{});
    EXPECT_EQ(next("railgun"), QString());
    load({"[ValidHeader]", "Weapons", "---", "Weapons?Railgun arena?u"});
    EXPECT_EQ(next("railgun"), u"Railgun arena"_s) << "a search that found nothing in one tree finds in the next";
    // The empty text steps through the links in the order they were read.
    load({"[ValidHeader]", "B", "A", "---", "A?a1?u", "B?b1?u", "A?a2?u"});
    EXPECT_EQ(QStringList({next(""), next(""), next(""), next("")}), (QStringList{u"a1"_s, u"b1"_s, u"a2"_s, QString()}));
    press("returnButton");
    EXPECT_TRUE(closed());
}

class AboutDialogTest : public OneWindowTest<AboutDialog>
{
protected:
    void open(const char *site) { show(new AboutDialog(shell, messages, QString::fromLatin1(site))); }
    void clickLink() const { QTest::mouseClick(control<QLabel>("siteLink"), Qt::LeftButton, {}, QPoint(4, control<QLabel>("siteLink")->height() / 2)); }
};

// The link, clicked or by Enter, opens the site with one slash at its end, and the box stays until "Return"; a browser
// that cannot start is said. No browser can open the built-in list's site: the program shows it, and the box closes to
// let it be seen.
TEST_F(AboutDialogTest, TheLinkOpensTheSiteInTheBrowserOrTheBuiltInOneInTheProgram)
{
    for (const auto &[site, opened] : {std::pair{"http://site.test", "http://site.test/"}, {"http://site.test/km/", "http://site.test/km/"},
                                       {"http://site.test/a?b=1&c=<2>", "http://site.test/a?b=1&c=<2>/"}}) {
        shell.opened.clear();
        open(site);
        clickLink();
        clickLink();
        EXPECT_EQ(shell.opened, QStringList(2, QString::fromLatin1(opened))) << site;
        EXPECT_FALSE(closed());
    }
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    control("returnButton")->setFocus(); // by the keyboard: Shift+Tab from "Return" to the link, and Enter
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(shell.opened.size(), 3);
    shell.succeed = false;
    clickLink();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].text.contains(u"http://site.test/"_s));
    press("returnButton");
    EXPECT_TRUE(closed());

    open("kestrelmoor://list/kestrelmoor");
    QSignalSpy inProgram(window.data(), &AboutDialog::openInProgramRequested);
    clickLink();
    EXPECT_EQ(inProgram.value(0).value(0).toString(), u"kestrelmoor://list/kestrelmoor/"_s);
    EXPECT_EQ(std::pair(shell.opened.size(), messages.shown.size()), std::pair(qsizetype(4), qsizetype(1))) << "no browser, no message";
    EXPECT_TRUE(closed());
}
