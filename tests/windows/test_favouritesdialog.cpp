#include "core/favourites.h"
#include "support/tempfolder.h"
#include "ui/favouritesdialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

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

class FavouritesDialogTest : public ::testing::Test
{
protected:
    void TearDown() override { delete dialog.data(); }

    // Opens the dialog as the main window does, without blocking the test.
    void open(const QString &names = u"A B C"_s, bool replace = true)
    {
        delete dialog.data();
        if (replace)
            favourites.replaceAll(favs(names));
        replaced = std::make_unique<QSignalSpy>(&favourites, &Favourites::replaced);
        dialog = new FavouritesDialog(favourites);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
    }
    template<typename T = QPushButton> T *control(const char *name) { return dialog->findChild<T *>(QString::fromLatin1(name)); }
    QListWidget *list() { return control<QListWidget>("favouritesList"); }
    QLineEdit *nameField() { return control<QLineEdit>("nameField"); }
    QLineEdit *urlField() { return control<QLineEdit>("urlField"); }
    // The list as shown, "*" after the selected entry's name.
    QString listed()
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text() + (list()->item(i)->isSelected() ? "*"_L1 : ""_L1));
        return names.join(u' ');
    }
    void select(int row) { QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(row)).center()); }
    void press(const char *button) { QTest::mouseClick(control(button), Qt::LeftButton); }
    void enterIn(QWidget *widget)
    {
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Return);
    }
    void retype(QLineEdit *field, const QString &text)
    {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
    }

    Favourites favourites;
    QPointer<FavouritesDialog> dialog;
    std::unique_ptr<QSignalSpy> replaced;
};

} // namespace

TEST_F(FavouritesDialogTest, EditsShowAtOnceAndMovesKeepTheEntrySelected)
{
    open();
    EXPECT_EQ(listed(), u"A* B C"_s);
    EXPECT_EQ(nameField()->text(), u"A"_s);
    select(1);
    EXPECT_EQ(urlField()->text(), u"http://B"_s);
    retype(nameField(), u"Huge"_s);
    QTest::keyClick(nameField(), Qt::Key_Backspace);
    EXPECT_EQ(listed(), u"A Hug* C"_s) << "the list follows each key";
    EXPECT_EQ(nameField()->cursorPosition(), 3) << "the caret stays where the user typed";
    retype(urlField(), u"http://h/"_s);
    select(0);
    select(1);
    EXPECT_EQ(urlField()->text(), u"http://h/"_s) << "an entry keeps its edits";

    press("moveUpButton");
    press("moveUpButton"); // the first already
    EXPECT_EQ(listed(), u"Hug* A C"_s);
    press("moveDownButton");
    press("moveDownButton");
    press("moveDownButton"); // the last already
    EXPECT_EQ(listed(), u"A C Hug*"_s);
    EXPECT_EQ(urlField()->text(), u"http://h/"_s);
    EXPECT_EQ(favourites.names(), (QStringList{"A", "B", "C"})) << "the table waits for Ok";
    press("okButton");
    EXPECT_EQ(favourites.rows(), (favs(u"A C"_s) << Favourite{"Hug", "http://h/", {}, {}}));
}

// The deleted entry's texts stay in the fields, tied to nothing: typing there
// changes no entry, wherever the deleted entry was.
TEST_F(FavouritesDialogTest, DeleteLeavesNothingSelectedAndTheFieldsTiedToNothing)
{
    const struct { const char *table; int row; const char *left; } rows[] = {
        {"A B C D", 1, "A C D"}, {"A B C D", 2, "A B D"}, {"A B C D", 3, "A B C"}, {"A B C D", 0, "B C D"}, {"A", 0, ""}};
    for (const auto &row : rows) {
        open(QString::fromLatin1(row.table));
        select(row.row);
        const QString deleted = favourites.row(row.row).name;
        press("deleteButton");
        EXPECT_EQ(listed(), QString::fromLatin1(row.left)) << row.table << ' ' << row.row;
        EXPECT_EQ(nameField()->text() + u' ' + urlField()->text(), deleted + " http://"_L1 + deleted);
        retype(nameField(), u"Ghost"_s);
        retype(urlField(), u"http://ghost/"_s);
        press("moveUpButton");
        press("deleteButton");
        EXPECT_EQ(listed(), QString::fromLatin1(row.left)) << row.table << ' ' << row.row;
        press("okButton");
        EXPECT_EQ(favourites.rows(), favs(QString::fromLatin1(row.left))) << row.table << ' ' << row.row;
    }
}

TEST_F(FavouritesDialogTest, AddMakesANewEntryUpToTheTablesSize)
{
    open(QString());
    retype(nameField(), u"typed"_s);
    EXPECT_EQ(list()->count(), 0) << "typing with nothing selected changes nothing";
    press("addButton");
    EXPECT_EQ(listed(), u"New shortcut*"_s);
    EXPECT_EQ(urlField()->text(), u"http://"_s);

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
    const struct { const char *name; std::function<void()> leave; bool kept; } rows[] = {
        {"Ok", [this] { press("okButton"); }, true},
        {"Enter in the list", [this] { enterIn(list()); }, true},
        {"Enter in the name", [this] { enterIn(nameField()); }, true},
        {"Enter in the url", [this] { enterIn(urlField()); }, true},
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
    retype(urlField(), u"http://c/new"_s);
    press("okButton");
    ASSERT_TRUE(favourites.save(dir.file(u"favs.dat"_s)).ok);
    EXPECT_EQ(dir.read(u"favs.dat"_s), "Z\xfc rich\r\nhttp://z\r\nCaf\xe9\r\nhttp://c/new\r\n");
}
