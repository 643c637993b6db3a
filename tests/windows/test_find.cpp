#include "core/modlistloader.h"
#include "core/modtreemodel.h"
#include "core/favourites.h"
#include "core/settingsstore.h"
#include "support/mainfakes.h"
#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/faketray.h"
#include "support/fakewebview.h"
#include "support/tempfolder.h"
#include "ui/mainwindow.h"
#include "ui/treeicons.h"
#include "ui/finddialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace {

// The folders Weapons and Maps, then Arena One under Weapons and Big Arena under Maps.
const QByteArray kArenas = crlfLines({"[ValidHeader]", "Weapons", "Maps", "---", "Weapons?Arena One?http://w/1",
                                      "Maps?Big Arena?http://m/1"});

ModTree treeOf(const QByteArray &list)
{
    ModTree tree;
    parseModList(list, tree);
    return tree;
}

// A tree view over the mod tree model through the picture proxy, as the main
// window shows it, and a find dialog on it.
class FindTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        icons.setSourceModel(&model);
        view.setModel(&icons);
        view.resize(300, 200);
        view.show();
        dialog = new FindDialog(&view, model, &view);
        dialog->show();
    }

    void load(const QByteArray &list) { model.setTree(treeOf(list)); }
    void type(const QString &text) { dialog->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(text); }
    void press() { dialog->findChild<QPushButton *>(QStringLiteral("Command1"))->click(); }

    // Text of the selected node, or "" when nothing is selected.
    QString selected() const
    {
        const QModelIndexList rows = view.selectionModel()->selectedIndexes();
        return rows.size() == 1 ? rows.first().data().toString() : QString();
    }

    ModTreeModel model;
    TreeIconModel icons;
    QTreeView view;
    QPointer<FindDialog> dialog;
};

} // namespace

TEST_F(FindTest, StepsThroughMatchingLinksIgnoringCaseWithoutWrapping)
{
    for (const char *needle : {"arena", "ARENA", "aReNa", "Arena"}) {
        SCOPED_TRACE(needle);
        load(kArenas);
        type(QString::fromLatin1(needle));
        press();
        EXPECT_EQ(selected(), QStringLiteral("Arena One"));
        EXPECT_EQ(dialog->searchPosition(), 4);
        press();
        EXPECT_EQ(selected(), QStringLiteral("Big Arena"));
        press();
        EXPECT_EQ(selected(), QStringLiteral("Big Arena")) << "no wrap to the top";
        EXPECT_EQ(dialog->searchPosition(), 5);

        // A change of text, even one that is taken back, starts from the first node.
        type(QString::fromLatin1(needle) + QLatin1Char('x'));
        type(QString::fromLatin1(needle));
        press();
        EXPECT_EQ(selected(), QStringLiteral("Arena One"));
        view.clearSelection();
    }
}

TEST_F(FindTest, FindsNothingWhereNoLinkTextHoldsTheNeedle)
{
    struct Row
    {
        const char *name;
        const char *needle;
    };
    const Row rows[] = {
        {"a folder's name is never matched", "maps"},
        {"longer than every name", "Arena One and more"},
        {"the address is not the text", "http"},
        {"no trimming", " arena one "},
        {"no wildcards", "Arena*"},
    };
    load(kArenas);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        type(QString::fromLatin1(row.needle));
        press();
        press();
        EXPECT_EQ(selected(), QString());
        EXPECT_EQ(dialog->searchPosition(), 1);
    }
}

TEST_F(FindTest, EmptyTextStepsThroughTheLinksOneByOne)
{
    load(crlfLines({"[ValidHeader]", "B", "A", "---", "A?a1?u", "B?b1?u", "A?a2?u"}));
    QStringList found;
    for (int i = 0; i < 4; ++i) {
        press();
        found.append(selected());
    }
    // In the order the links were read, not as the folders sort them in the view.
    EXPECT_EQ(found, (QStringList{QStringLiteral("a1"), QStringLiteral("b1"), QStringLiteral("a2"), QStringLiteral("a2")}));
}

TEST_F(FindTest, MatchesTextBeyondAscii)
{
    struct Row
    {
        const char *name;
        QByteArray link;
        QString needle;
        bool found;
    };
    const Row rows[] = {
        {"utf-8 name, lower-case needle", "Waffen?\xC3\x9C" "berwaffe Pack?u", QStringLiteral("\u00FCberwaffe"), true},
        {"windows-1252 name", "Waffen?Caf\xE9 Arena?u", QStringLiteral("CAF\u00C9"), true},
        {"sharp s upper-cases to SS", "Waffen?Stra\xC3\x9F" "e?u", QStringLiteral("strasse"), true},
        {"non-ascii needle in an ascii name", "Waffen?Cafe?u", QStringLiteral("caf\u00E9"), false},
        {"ascii needle in a non-ascii name", "Waffen?\xC3\x9C" "ber Rail?u", QStringLiteral("RAIL"), true},
        {"byte that is no character in the needle's range", "Waffen?Rail\x81gun?u", QStringLiteral("railgun"), false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        load("[ValidHeader]\r\nWaffen\r\n---\r\n" + row.link + "\r\n");
        ASSERT_EQ(model.tree().linkCount(), 1);
        type(row.needle);
        press();
        EXPECT_EQ(selected().isEmpty(), !row.found);
        view.clearSelection();
    }
}

TEST_F(FindTest, SelectionOpensTheFolderAndScrollsWithoutAClick)
{
    QByteArray list = "[ValidHeader]\r\nFirst\r\nSecond\r\n---\r\n";
    for (int i = 0; i < 300; ++i)
        list += "First?Filler " + QByteArray::number(i) + "?u\r\n";
    list += "Second?Needle in the hay?u\r\n";
    load(list);
    QSignalSpy clicks(&view, &QTreeView::clicked);

    type(QStringLiteral("needle"));
    press();

    const QModelIndex current = view.currentIndex();
    ASSERT_EQ(current.data().toString(), QStringLiteral("Needle in the hay"));
    EXPECT_TRUE(view.isExpanded(current.parent()));
    EXPECT_FALSE(view.isExpanded(view.model()->index(0, 0))) << "only the match's folder opens";
    EXPECT_TRUE(view.viewport()->rect().intersects(view.visualRect(current)));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(FindTest, ListSwitchedWhileOpenIsSearchedFromTheSameNumberOn)
{
    load(kArenas);
    type(QStringLiteral("arena"));
    press();
    ASSERT_EQ(selected(), QStringLiteral("Arena One"));

    // Node 4 is the first one examined in the new tree: Arena Two is node 4.
    load(crlfLines({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena Zero?u", "Deathmatch?Old Arena?u",
                    "Deathmatch?Arena Two?u"}));
    EXPECT_EQ(selected(), QString()) << "the old selection went with the old tree";
    press();
    EXPECT_EQ(selected(), QStringLiteral("Arena Two"));

    // A tree shorter than the search position: nothing is found, nothing breaks.
    load(crlfLines({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena?u"}));
    press();
    EXPECT_EQ(selected(), QString());
    EXPECT_EQ(dialog->searchPosition(), 5);

    // An empty tree.
    model.setTree(ModTree{});
    press();
    EXPECT_EQ(selected(), QString());
}

TEST_F(FindTest, MissInOneListDoesNotHideAMatchInTheNext)
{
    load(kArenas);
    type(QStringLiteral("railgun"));
    press();
    ASSERT_EQ(selected(), QString());

    load(crlfLines({"[ValidHeader]", "Weapons", "---", "Weapons?Railgun arena?u"}));
    press();
    EXPECT_EQ(selected(), QStringLiteral("Railgun arena"));
}

TEST_F(FindTest, KeyboardFindsWithEnterAndClosesWithEscape)
{
    load(kArenas);
    auto *text1 = dialog->findChild<QLineEdit *>(QStringLiteral("Text1"));
    QTest::keyClicks(text1, QStringLiteral("big"));
    QTest::keyClick(text1, Qt::Key_Return);
    EXPECT_EQ(selected(), QStringLiteral("Big Arena"));

    QTest::keyClick(text1, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
    EXPECT_EQ(selected(), QStringLiteral("Big Arena")) << "closing leaves the selection";
}

TEST_F(FindTest, ReturnButtonClosesTheDialog)
{
    dialog->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}

// With the real main window: a found mod is selected in its tree, but its page
// is not opened and it does not become the node that "Add to favourites" uses.
TEST(FindInMainWindow, SelectsWithoutOpeningThePageOrChangingTheLastNode)
{
    TempFolder dir;
    dir.write(QStringLiteral("defmodlist.dat"), kArenas);
    dir.write(QStringLiteral("mods.dat"), crlfLines({"[ValidHeader]", "Quake2", "defmodlist.dat", "http://x/q2.zip",
                                                     "q2modlist", "welcome.htm"}));
    MainFakes fakes;
    MainWindow main(fakes.context(dir.path(), QStringLiteral("http://127.0.0.1:9"), QStringLiteral("http://site.test/")));
    main.Form_Load();
    QTest::qWait(20);
    ASSERT_EQ(main.treeModel().tree().count(), 4);

    QTreeView *tree = main.treeView();
    const QModelIndex big = main.treeViewModel()->index(0, 0, main.treeViewModel()->index(1, 0));
    tree->expand(big.parent());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(big).center());
    ASSERT_EQ(main.lastNode(), 3);
    const QStringList pagesBefore = fakes.views.views.first()->navigations;

    auto *find = new FindDialog(tree, main.treeModel(), &main);
    find->show();
    find->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("arena"));
    find->findChild<QPushButton *>(QStringLiteral("Command1"))->click();

    EXPECT_EQ(tree->currentIndex().data().toString(), QStringLiteral("Arena One"));
    EXPECT_EQ(main.lastNode(), 3);
    EXPECT_EQ(fakes.views.views.first()->navigations, pagesBefore);
}
