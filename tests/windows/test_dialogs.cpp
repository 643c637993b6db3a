#include "core/favourites.h"
#include "core/modlistloader.h"
#include "core/modtreemodel.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakes.h"
#include "support/tempfolder.h"
#include "ui/aboutdialog.h"
#include "ui/favouritesdialog.h"
#include "ui/finddialog.h"
#include "ui/optionsdialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// One dialog at a time, shown without blocking the test and deleted after it.
template<typename Dialog> class DialogTest : public ::testing::Test
{
protected:
    void TearDown() override { delete dialog.data(); }
    void show(Dialog *made)
    {
        delete dialog.data();
        dialog = made;
        made->show();
    }
    template<typename T = QPushButton> T *control(const char *name) const { return dialog->template findChild<T *>(QString::fromLatin1(name)); }
    void press(const char *button) const { control(button)->click(); }
    // The dialogs delete themselves when they close.
    bool closed() const { return QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete), dialog.isNull(); }

    QPointer<Dialog> dialog;
};

// Favourites named as in "A B C", each at http://<name>.
QList<Favourite> favs(const QString &names)
{
    QList<Favourite> out;
    for (const QString &name : names.split(u' ', Qt::SkipEmptyParts))
        out.append(Favourite{name, "http://"_L1 + name, {}, {}});
    return out;
}

class FavouritesDialogTest : public DialogTest<FavouritesDialog>
{
protected:
    void open(const QString &names = u"A B C"_s, bool replace = true)
    {
        if (replace)
            favourites.replaceAll(favs(names));
        replaced = std::make_unique<QSignalSpy>(&favourites, &Favourites::replaced);
        show(new FavouritesDialog(favourites));
    }
    QListWidget *list() const { return control<QListWidget>("favouritesList"); }
    QLineEdit *field(const char *name) const { return control<QLineEdit>(name); }
    // The list as shown, "*" after the selected entry's name.
    QString listed() const
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text() + (list()->item(i)->isSelected() ? "*"_L1 : ""_L1));
        return names.join(u' ');
    }
    void select(int row) const { QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(row)).center()); }
    void retype(const char *name, const QString &text) const
    {
        field(name)->setFocus();
        field(name)->selectAll();
        QTest::keyClicks(field(name), text);
    }

    Favourites favourites;
    std::unique_ptr<QSignalSpy> replaced;
};

} // namespace

TEST_F(FavouritesDialogTest, EditsShowAtOnceAndMovesKeepTheEntrySelected)
{
    open();
    EXPECT_EQ(listed(), u"A* B C"_s);
    EXPECT_EQ(field("nameField")->text(), u"A"_s);
    select(1);
    EXPECT_EQ(field("urlField")->text(), u"http://B"_s);
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
    }
    EXPECT_EQ(favourites.names(), (QStringList{"A", "B", "C"})) << "the table waits for Ok";
    press("okButton");
    EXPECT_EQ(favourites.rows(), (favs(u"A C"_s) << Favourite{"Hug", "http://h/", {}, {}}));
}

// The deleted entry's texts stay in the fields, tied to nothing: typing there
// changes no entry, wherever the deleted entry was.
TEST_F(FavouritesDialogTest, DeleteLeavesNothingSelectedAndTheFieldsTiedToNothing)
{
    const struct { const char *table; int row; const char *left; } rows[] = {
        {"A B C D", 1, "A C D"}, {"A B C D", 3, "A B C"}, {"A B C D", 0, "B C D"}, {"A", 0, ""}};
    for (const auto &row : rows) {
        open(QString::fromLatin1(row.table));
        select(row.row);
        const QString deleted = favourites.row(row.row).name;
        press("deleteButton");
        EXPECT_EQ(listed(), QString::fromLatin1(row.left)) << row.table << ' ' << row.row;
        EXPECT_EQ(field("nameField")->text() + u' ' + field("urlField")->text(), deleted + " http://"_L1 + deleted);
        retype("nameField", u"Ghost"_s);
        retype("urlField", u"http://ghost/"_s);
        press("moveUpButton");
        press("deleteButton");
        press("okButton");
        EXPECT_EQ(favourites.rows(), favs(QString::fromLatin1(row.left))) << row.table << ' ' << row.row;
    }
}

TEST_F(FavouritesDialogTest, AddMakesANewEntryUpToTheTablesSize)
{
    open(QString());
    retype("nameField", u"typed"_s);
    EXPECT_EQ(list()->count(), 0) << "typing with nothing selected changes nothing";
    press("addButton");
    EXPECT_EQ(listed() + u' ' + field("urlField")->text(), u"New shortcut* http://"_s);
    QStringList fifty;
    for (int i = 0; i < 50; ++i)
        fifty.append(QString::number(i));
    open(fifty.join(u' '));
    press("addButton");
    EXPECT_EQ(list()->count(), 51);
    EXPECT_FALSE(control("addButton")->isEnabled());
    select(0);
    press("deleteButton");
    EXPECT_TRUE(control("addButton")->isEnabled());
    press("okButton");
    EXPECT_EQ(favourites.count(), 50);
    EXPECT_EQ(favourites.row(49).name, u"New shortcut"_s);
}

// Ok (or Enter anywhere) makes the edited copy the table; Cancel and the close
// box drop it; Escape is bound to nothing, so a stray key drops no edits.
TEST_F(FavouritesDialogTest, OkOrEnterKeepTheEditsCancelOrTheCloseBoxDropThem)
{
    auto enterIn = [](QWidget *widget) { widget->setFocus(), QTest::keyClick(widget, Qt::Key_Return); };
    const struct { const char *name; std::function<void()> leave; bool kept; } rows[] = {
        {"Ok", [this] { press("okButton"); }, true},
        {"Enter in the list", [&] { enterIn(list()); }, true},
        {"Enter in the name", [&] { enterIn(field("nameField")); }, true},
        {"Enter in the url", [&] { enterIn(field("urlField")); }, true},
        {"Cancel", [this] { press("cancelButton"); }, false},
        {"close box", [this] { dialog->close(); }, false},
    };
    for (const auto &row : rows) {
        open();
        select(1);
        press("moveUpButton");
        QTest::keyClick(list(), Qt::Key_Escape);
        EXPECT_TRUE(dialog->isVisible()) << row.name;
        row.leave();
        EXPECT_FALSE(dialog->isVisible()) << row.name;
        EXPECT_EQ(dialog->result(), row.kept ? QDialog::Accepted : QDialog::Rejected) << row.name;
        EXPECT_EQ(favourites.names().join(u' '), row.kept ? u"B A C"_s : u"A B C"_s) << row.name;
        EXPECT_EQ(replaced->size(), row.kept ? 1 : 0) << row.name;
    }
}

TEST_F(FavouritesDialogTest, UntouchedEntriesKeepTheirBytesInTheFile)
{
    TempFolder dir;
    dir.write(u"favs.dat"_s, "Caf\xe9\r\nhttp://c/\xe9\r\nZ\xfc rich\r\nhttp://z\r\n");
    favourites.load(dir.file(u"favs.dat"_s));
    open({}, false);
    select(1);
    press("moveUpButton");
    select(1);
    retype("urlField", u"http://c/new"_s);
    press("okButton");
    ASSERT_TRUE(favourites.save(dir.file(u"favs.dat"_s)).ok);
    EXPECT_EQ(dir.read(u"favs.dat"_s), "Z\xfc rich\r\nhttp://z\r\nCaf\xe9\r\nhttp://c/new\r\n");
}

namespace {

class OptionsDialogTest : public DialogTest<OptionsDialog>
{
protected:
    void open() { show(new OptionsDialog(settings, messages)); }
    QCheckBox *box(const char *name) const { return control<QCheckBox>(name); }
    // "10110": the boxes in the order in which Ok writes their options.
    QString states() const
    {
        QString out;
        for (const char *name : {"showRemoteAtStartupBox", "fullScreenAtStartupBox", "maximizedAtStartupBox",
                                 "remoteOnlyAtStartupBox", "defaultBrowserBox"})
            out += box(name)->isChecked() ? u'1' : u'0';
        return out;
    }
    // The options as stored, "-" for one that is not.
    QString stored(const QStringList &keys = {Options::kShowFav, Options::kFullScreen, Options::kMaximized, Options::kRcOnly,
                                              Options::kDefBrw}) const
    {
        QString out;
        for (const QString &key : keys)
            out += settings.value(Options::kApplication, Options::kSection, key, u"-"_s);
        return out;
    }

    MemorySettingsStore settings;
    FakeMessages messages;
};

} // namespace

// Ok, or Enter, saves all five options, the disabled sub-option too; Cancel,
// Escape and the close box save nothing.
TEST_F(OptionsDialogTest, OkSavesAllFiveAndEveryOtherWayOutNothing)
{
    const struct { const char *name; std::function<void()> leave; const char *stored; } rows[] = {
        {"Ok", [this] { press("okButton"); }, "00111"}, {"Enter", [this] { QTest::keyClick(dialog, Qt::Key_Return); }, "00111"},
        {"Cancel", [this] { press("cancelButton"); }, "--1--"}, {"Escape", [this] { QTest::keyClick(dialog, Qt::Key_Escape); }, "--1--"},
        {"close box", [this] { dialog->close(); }, "--1--"}};
    for (const auto &row : rows) {
        settings = MemorySettingsStore();
        settings.setValue(Options::kApplication, Options::kSection, Options::kMaximized, u"1"_s);
        open();
        box("showRemoteAtStartupBox")->click();
        box("remoteOnlyAtStartupBox")->click();
        box("showRemoteAtStartupBox")->click();
        EXPECT_TRUE(!box("remoteOnlyAtStartupBox")->isEnabled() && box("remoteOnlyAtStartupBox")->isChecked()) << "disabled, not cleared";
        box("defaultBrowserBox")->click();
        row.leave();
        EXPECT_TRUE(closed()) << row.name;
        EXPECT_EQ(stored(), QString::fromLatin1(row.stored)) << row.name;
        open();
        EXPECT_EQ(states(), QString(row.stored).replace(u'-', u'0')) << row.name << ": each box shows its option";
        EXPECT_EQ(box("remoteOnlyAtStartupBox")->isEnabled(), row.stored[0] == '1') << row.name;
    }
}

TEST_F(OptionsDialogTest, AFailedSaveIsSaidAndTheDialogStaysOpenForAnotherTry)
{
    settings.setWritable(false);
    open();
    box("fullScreenAtStartupBox")->click();
    press("okButton");
    EXPECT_FALSE(closed());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(states(), u"01000"_s) << "the choice is kept";
    settings.setWritable(true);
    press("okButton");
    EXPECT_TRUE(closed());
    EXPECT_EQ(stored(), u"01000"_s);
}

// The list server: empty for the built-in list, else a web address with a host,
// stored without the slashes at its end. Anything else is refused at Ok, and
// nothing is saved until it is put right.
TEST_F(OptionsDialogTest, TheListServerIsAWebAddressOrEmpty)
{
    const std::pair<const char *, const char *> rows[] = { // typed, stored after Ok (nullptr: refused)
        {"", ""}, {" https://mirror.test:8080/lists/ ", "https://mirror.test:8080/lists"}, {"ftp://mirror.test", nullptr},
        {"mirror.test", nullptr}, {"http://", nullptr}, {"kestrelmoor://list", nullptr}};
    for (const auto &[typed, saved] : rows) {
        settings = MemorySettingsStore();
        messages.shown.clear();
        open();
        control<QLineEdit>("listServerField")->setText(QString::fromLatin1(typed));
        press("okButton");
        EXPECT_EQ(closed(), saved != nullptr) << typed;
        EXPECT_EQ(messages.shown.size(), saved ? 0 : 1) << typed;
        EXPECT_EQ(stored({Options::kListServer, Options::kShowFav, Options::kFullScreen, Options::kMaximized, Options::kRcOnly,
                          Options::kDefBrw}),
                  saved ? QString::fromLatin1(saved) + "00000"_L1 : u"------"_s) << typed << ": the other options wait too";
        if (saved) {
            open();
            EXPECT_EQ(control<QLineEdit>("listServerField")->text(), QString::fromLatin1(saved)) << "the field shows what is stored";
        }
    }
}

namespace {

// Each press examines the nodes from the search position on, in the tree as it
// is at that moment. The dialog reports the node found; the main window selects it.
class FindDialogTest : public DialogTest<FindDialog>
{
protected:
    void SetUp() override
    {
        // Folders Weapons and Maps (nodes 0 and 1), then Arena One (2) and Big Arena (3).
        load({"[ValidHeader]", "Weapons", "Maps", "---", "Weapons?Arena One?http://w/1", "Maps?Big Arena?http://m/1"});
        show(new FindDialog(model));
    }
    void load(std::initializer_list<const char *> lines)
    {
        ModTree tree;
        parseModList(crlfLines(lines), tree);
        model.setTree(std::move(tree));
    }
    void type(const QString &text) const { control<QLineEdit>("searchField")->setText(text); }
    // Presses "Find next" and returns the name found, or "" when nothing was.
    QString next()
    {
        QSignalSpy found(dialog.data(), &FindDialog::nodeFound);
        press("findNextButton");
        return found.isEmpty() ? QString() : model.tree().text(found.first().first().toInt());
    }

    ModTreeModel model;
};

} // namespace

TEST_F(FindDialogTest, StepsThroughMatchingLinkNamesWithoutWrapping)
{
    type(u"ARENA"_s);
    EXPECT_EQ(next(), u"Arena One"_s);
    EXPECT_EQ(dialog->searchPosition(), 4);
    EXPECT_EQ(next(), u"Big Arena"_s);
    EXPECT_EQ(next(), QString()) << "no wrap to the top";
    type(u"ARENAx"_s);
    type(u"ARENA"_s);
    EXPECT_EQ(next(), u"Arena One"_s) << "a change of text, even one taken back, starts again";
    for (const char *text : {"maps", "Arena One and more", "http", " arena one ", "Arena*"}) {
        type(QString::fromLatin1(text));
        EXPECT_EQ(next() + next(), QString()) << text << ": folders, addresses, no trimming, no wildcards";
        EXPECT_EQ(dialog->searchPosition(), 1) << text;
    }
    // The empty text steps through the links in the order they were read.
    load({"[ValidHeader]", "B", "A", "---", "A?a1?u", "B?b1?u", "A?a2?u"});
    type(QString());
    EXPECT_EQ(QStringList({next(), next(), next(), next()}), (QStringList{u"a1"_s, u"b1"_s, u"a2"_s, QString()}));
}

// A list switched while the dialog is open is searched from the same position
// on; a search that found nothing in one tree still finds in the next.
TEST_F(FindDialogTest, ATreeRebuiltWhileOpenIsSearchedFromTheSamePosition)
{
    type(u"arena"_s);
    ASSERT_EQ(next(), u"Arena One"_s);
    load({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena Zero?u", "Deathmatch?Old Arena?u", "Deathmatch?Arena Two?u"});
    EXPECT_EQ(next(), u"Arena Two"_s) << "node 3 is the first examined";
    load({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena?u"});
    EXPECT_EQ(next(), QString()) << "shorter than the search position";
    model.setTree(ModTree{});
    EXPECT_EQ(next(), QString());
    type(u"railgun"_s);
    EXPECT_EQ(next(), QString());
    load({"[ValidHeader]", "Weapons", "---", "Weapons?Railgun arena?u"});
    EXPECT_EQ(next(), u"Railgun arena"_s);
}

namespace {

class AboutDialogTest : public DialogTest<AboutDialog>
{
protected:
    void open(const char *site) { show(new AboutDialog(shell, messages, QString::fromLatin1(site))); }
    void clickLink() const
    {
        QLabel *link = control<QLabel>("siteLink");
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
    }

    FakeShell shell;
    FakeMessages messages;
};

} // namespace

// The link, clicked or by Enter, opens the site with one slash at its end, and
// the box stays until "Return"; a browser that cannot start is said. No browser can open the
// built-in list's site: the program shows it, and the box closes to let it be seen.
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
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
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
    QSignalSpy inProgram(dialog.data(), &AboutDialog::openInProgramRequested);
    clickLink();
    EXPECT_EQ(inProgram.value(0).value(0).toString(), u"kestrelmoor://list/kestrelmoor/"_s);
    EXPECT_EQ(shell.opened.size(), 4) << "no browser for the built-in site";
    EXPECT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(closed());
}
