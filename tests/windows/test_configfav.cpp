#include "core/favourites.h"
#include "support/printers.h"
#include "support/tempfolder.h"
#include "ui/favouritesdialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

Favourite fav(const QString &name, const QString &url)
{
    return Favourite{name, url, {}, {}};
}

QList<Favourite> numbered(int n)
{
    QList<Favourite> out;
    for (int i = 0; i < n; ++i)
        out.append(fav(QStringLiteral("Mod %1").arg(i), QStringLiteral("http://m/%1").arg(i)));
    return out;
}

class ConfigureFavouritesTest : public ::testing::Test
{
protected:
    ~ConfigureFavouritesTest() override { delete dialog.data(); }

    void SetUp() override
    {
        favourites.replaceAll({fav(QStringLiteral("Arena pack"), QStringLiteral("http://a/1")),
                               fav(QStringLiteral("Big maps"), QStringLiteral("http://a/2")),
                               fav(QStringLiteral("Capture"), QStringLiteral("http://a/3"))});
    }

    // Opens the dialog as the main window does, without blocking the test.
    FavouritesDialog &open()
    {
        replaced = std::make_unique<QSignalSpy>(&favourites, &Favourites::replaced);
        dialog = new FavouritesDialog(favourites);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        return *dialog;
    }

    template<typename T = QPushButton> T *control(const char *name)
    {
        return dialog->findChild<T *>(QString::fromLatin1(name));
    }
    QListWidget *list() { return control<QListWidget>("List1"); }
    QLineEdit *nameBox() { return control<QLineEdit>("friendlyname"); }
    QLineEdit *urlBox() { return control<QLineEdit>("url"); }
    QStringList listed()
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text());
        return names;
    }
    int selected()
    {
        const QList<QListWidgetItem *> items = list()->selectedItems();
        return items.isEmpty() ? -1 : list()->row(items.first());
    }
    void select(int row)
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(row)).center());
    }
    void press(const char *button) { QTest::mouseClick(control(button), Qt::LeftButton); }
    // Selects the box's text and types over it, key by key.
    void retype(QLineEdit *box, const QString &text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    QStringList names() const { return favourites.names(); }
    bool closedWith(QDialog::DialogCode code) { return !dialog->isVisible() && dialog->result() == code; }

    Favourites favourites;
    QPointer<FavouritesDialog> dialog;
    std::unique_ptr<QSignalSpy> replaced;
};

const QStringList kOriginal = {QStringLiteral("Arena pack"), QStringLiteral("Big maps"), QStringLiteral("Capture")};

} // namespace

TEST_F(ConfigureFavouritesTest, OpensOnACopyWithTheFirstEntrySelected)
{
    open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Configure favourites"));
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(listed(), kOriginal);
    EXPECT_EQ(selected(), 0);
    EXPECT_EQ(nameBox()->text(), QStringLiteral("Arena pack"));
    EXPECT_EQ(urlBox()->text(), QStringLiteral("http://a/1"));

    select(2);
    EXPECT_EQ(nameBox()->text(), QStringLiteral("Capture"));
    EXPECT_EQ(urlBox()->text(), QStringLiteral("http://a/3"));
    EXPECT_EQ(listed(), kOriginal) << "showing an entry edits nothing";
}

TEST_F(ConfigureFavouritesTest, EditsRenameLiveAndChangeTheTableOnlyOnOk)
{
    open();
    select(1);
    nameBox()->setFocus();
    nameBox()->selectAll();
    QTest::keyClicks(nameBox(), QStringLiteral("Huge"));
    EXPECT_EQ(listed()[1], QStringLiteral("Huge")) << "the list follows each key";
    EXPECT_EQ(selected(), 1);
    QTest::keyClick(nameBox(), Qt::Key_Backspace);
    EXPECT_EQ(listed()[1], QStringLiteral("Hug"));
    EXPECT_EQ(nameBox()->cursorPosition(), 3) << "the caret stays where the user typed";

    retype(urlBox(), QStringLiteral("http://h/"));
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Arena pack"), QStringLiteral("Hug"), QStringLiteral("Capture")}))
        << "a new URL leaves the list as it is";
    EXPECT_EQ(names(), kOriginal) << "the table waits for Ok";
    EXPECT_EQ(replaced->size(), 0);

    // Another entry shows its own texts; the edited one keeps its edits.
    select(0);
    EXPECT_EQ(urlBox()->text(), QStringLiteral("http://a/1"));
    select(1);
    EXPECT_EQ(nameBox()->text(), QStringLiteral("Hug"));
    EXPECT_EQ(urlBox()->text(), QStringLiteral("http://h/"));

    press("Command4");
    EXPECT_TRUE(closedWith(QDialog::Accepted));
    EXPECT_EQ(favourites.rows(), (QList<Favourite>{fav(QStringLiteral("Arena pack"), QStringLiteral("http://a/1")),
                                                   fav(QStringLiteral("Hug"), QStringLiteral("http://h/")),
                                                   fav(QStringLiteral("Capture"), QStringLiteral("http://a/3"))}));
    EXPECT_EQ(replaced->size(), 1);
}

TEST_F(ConfigureFavouritesTest, MovesKeepTheMovedEntrySelected)
{
    open();
    press("Command1");
    EXPECT_EQ(listed(), kOriginal) << "Move up on the first entry";
    select(2);
    press("Command2");
    EXPECT_EQ(listed(), kOriginal) << "Move down on the last entry";

    select(0);
    press("Command2");
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Big maps"), QStringLiteral("Arena pack"), QStringLiteral("Capture")}));
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(nameBox()->text(), QStringLiteral("Arena pack"));
    EXPECT_EQ(urlBox()->text(), QStringLiteral("http://a/1"));
    press("Command2");
    EXPECT_EQ(selected(), 2);
    press("Command1");
    press("Command1");
    EXPECT_EQ(listed(), kOriginal) << "down and back up again restores the order";
    EXPECT_EQ(selected(), 0);

    select(2);
    press("Command1");
    press("Command4");
    EXPECT_EQ(favourites.rows(), (QList<Favourite>{fav(QStringLiteral("Arena pack"), QStringLiteral("http://a/1")),
                                                   fav(QStringLiteral("Capture"), QStringLiteral("http://a/3")),
                                                   fav(QStringLiteral("Big maps"), QStringLiteral("http://a/2"))}));
}

TEST_F(ConfigureFavouritesTest, DeleteLeavesNothingSelectedAndTheBoxesInert)
{
    open();
    select(1);
    press("Command6");
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Arena pack"), QStringLiteral("Capture")}));
    EXPECT_EQ(selected(), -1);
    EXPECT_EQ(nameBox()->text(), QStringLiteral("Big maps")) << "the boxes still show the deleted entry";
    EXPECT_EQ(urlBox()->text(), QStringLiteral("http://a/2"));

    retype(nameBox(), QStringLiteral("Ghost"));
    retype(urlBox(), QStringLiteral("http://ghost/"));
    press("Command1");
    press("Command2");
    press("Command6");
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Arena pack"), QStringLiteral("Capture")}));

    press("Command4");
    EXPECT_EQ(favourites.rows(), (QList<Favourite>{fav(QStringLiteral("Arena pack"), QStringLiteral("http://a/1")),
                                                   fav(QStringLiteral("Capture"), QStringLiteral("http://a/3"))}));
}

TEST_F(ConfigureFavouritesTest, EmptyTableThenAddNewEntry)
{
    favourites.replaceAll({});
    open();
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(selected(), -1);
    EXPECT_TRUE(nameBox()->text().isEmpty());
    EXPECT_TRUE(urlBox()->text().isEmpty());
    retype(nameBox(), QStringLiteral("typed"));
    EXPECT_EQ(list()->count(), 0) << "typing with nothing selected changes nothing";

    press("Command3");
    EXPECT_EQ(listed(), QStringList{QStringLiteral("New shortcut")});
    EXPECT_EQ(selected(), 0);
    EXPECT_EQ(nameBox()->text(), QStringLiteral("New shortcut"));
    EXPECT_EQ(urlBox()->text(), QStringLiteral("http://"));
    press("Command4");
    EXPECT_EQ(favourites.rows(), QList<Favourite>{fav(QStringLiteral("New shortcut"), QStringLiteral("http://"))});
}

TEST_F(ConfigureFavouritesTest, DeletingTheOnlyEntryThenOkEmptiesTheTable)
{
    favourites.replaceAll({fav(QStringLiteral("Only"), QStringLiteral("http://o"))});
    open();
    press("Command6");
    EXPECT_EQ(list()->count(), 0);
    press("Command4");
    EXPECT_EQ(favourites.count(), 0);
    EXPECT_EQ(replaced->size(), 1);
}

TEST_F(ConfigureFavouritesTest, TheCopyHoldsAtMost51Entries)
{
    favourites.replaceAll(numbered(50));
    open();
    QPushButton *add = control("Command3");
    EXPECT_TRUE(add->isEnabled());
    press("Command3");
    EXPECT_EQ(list()->count(), 51);
    EXPECT_FALSE(add->isEnabled());
    press("Command3");
    EXPECT_EQ(list()->count(), 51);

    select(0);
    press("Command6");
    EXPECT_TRUE(add->isEnabled());
    press("Command4");
    QList<Favourite> expected = numbered(50).mid(1);
    expected.append(fav(QStringLiteral("New shortcut"), QStringLiteral("http://")));
    EXPECT_EQ(favourites.rows(), expected) << "50 left, in order";
}

TEST_F(ConfigureFavouritesTest, CancelCloseBoxAndEscapeKeepTheTable)
{
    struct Row
    {
        const char *name;
        std::function<void()> leave;
    } rows[] = {
        {"Cancel", [this] { press("Command5"); }},
        {"close box", [this] { dialog->close(); }},
    };
    for (const Row &row : rows) {
        open();
        select(0);
        press("Command6");
        press("Command3");
        retype(nameBox(), QStringLiteral("Changed"));
        QTest::keyClick(list(), Qt::Key_Escape);
        EXPECT_TRUE(dialog->isVisible()) << row.name << ": Escape is bound to nothing";
        row.leave();
        EXPECT_TRUE(closedWith(QDialog::Rejected)) << row.name;
        EXPECT_EQ(names(), kOriginal) << row.name;
        EXPECT_EQ(replaced->size(), 0) << row.name;
        delete dialog.data();
    }
}

TEST_F(ConfigureFavouritesTest, EnterActsAsOk)
{
    struct Row
    {
        const char *name;
        const char *focus;
    } rows[] = {{"in the list", "List1"}, {"in the name box", "friendlyname"}, {"in the url box", "url"}};
    for (const Row &row : rows) {
        favourites.replaceAll({fav(QStringLiteral("A"), QStringLiteral("http://a")),
                               fav(QStringLiteral("B"), QStringLiteral("http://b"))});
        open();
        select(1);
        press("Command1");
        QWidget *target = control<QWidget>(row.focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        EXPECT_TRUE(closedWith(QDialog::Accepted)) << row.name;
        EXPECT_EQ(names(), (QStringList{QStringLiteral("B"), QStringLiteral("A")})) << row.name;
        delete dialog.data();
    }
}

TEST_F(ConfigureFavouritesTest, OkWithoutEditsRebuildsWithTheSameNames)
{
    open();
    press("Command4");
    EXPECT_EQ(names(), kOriginal);
    EXPECT_EQ(replaced->size(), 1) << "the remote control's list is rebuilt";
}

TEST_F(ConfigureFavouritesTest, UntouchedEntriesKeepTheirBytesInTheFile)
{
    TempFolder dir;
    const QByteArray original = "Caf\xe9\r\nhttp://c/\xe9\r\nZ\xfc rich\r\nhttp://z\r\n";
    dir.write(QStringLiteral("favs.dat"), original);
    favourites.load(dir.file(QStringLiteral("favs.dat")));
    open();
    select(1);
    press("Command1");
    select(1);
    retype(urlBox(), QStringLiteral("http://c/new"));
    press("Command4");
    ASSERT_TRUE(favourites.save(dir.file(QStringLiteral("favs.dat"))).ok);
    EXPECT_EQ(dir.read(QStringLiteral("favs.dat")), "Z\xfc rich\r\nhttp://z\r\nCaf\xe9\r\nhttp://c/new\r\n");
}
