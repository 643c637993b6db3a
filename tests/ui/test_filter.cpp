#include "support/mainfakes.h"
#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/faketray.h"
#include "support/fakewebview.h"
#include "support/tempfolder.h"
#include "core/favourites.h"
#include "core/settingsstore.h"
#include "ui/mainwindow.h"
#include "ui/finddialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

namespace {

const QByteArray kQuake2 = crlfLines({"[ValidHeader]", "Weapons", "Maps", "Empty", "---",
                                      "Weapons?Arena One?http://w/1", "Maps?Big Arena?http://m/1",
                                      "Weapons?Railgun Caf\xC3\xA9?http://w/2", "Maps?Q2DM1 remake?http://m/2"});
const QByteArray kQuake3 = crlfLines({"[ValidHeader]", "Arenas", "Other", "---", "Arenas?Arena of Q3?http://q3/1",
                                      "Other?Defrag?http://q3/2"});

class FilterWindowTest : public ::testing::Test, protected MainFakes
{
protected:
    void SetUp() override
    {
        dir.write(QStringLiteral("q2modlist.dat"), kQuake2);
        dir.write(QStringLiteral("q3modlist.dat"), kQuake3);
        dir.write(QStringLiteral("mods.dat"),
                  crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "http://x/q2.zip", "q2modlist", "welcome.htm",
                             "Quake3", "q3modlist.dat", "http://x/q3.zip", "q3modlist", "q3start.htm"}));
    }

    MainWindow &start()
    {
        window = std::make_unique<MainWindow>(context(dir.path(), QStringLiteral("http://srv"), QStringLiteral("http://site/")));
        window->Form_Load();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        field = window->findChild<QLineEdit *>(QStringLiteral("filter"));
        tree = window->findChild<QTreeView *>(QStringLiteral("tree"));
        return *window;
    }

    FakeWebView &web() { return *views.views.first(); }

    // The tree as shown: "Folder[link, link]", a "+" after an open folder's name.
    QString shown() const
    {
        const QAbstractItemModel *m = tree->model();
        QStringList folders;
        for (int f = 0; f < m->rowCount(); ++f) {
            const QModelIndex folder = m->index(f, 0);
            QStringList links;
            for (int l = 0; l < m->rowCount(folder); ++l)
                links.append(m->index(l, 0, folder).data().toString());
            folders.append(folder.data().toString() + (tree->isExpanded(folder) ? QStringLiteral("+") : QString())
                           + u'[' + links.join(QStringLiteral(", ")) + u']');
        }
        return folders.join(u' ');
    }

    // The row of the tree view showing the link named `text`.
    QModelIndex linkRow(const QString &text) const
    {
        const QAbstractItemModel *m = tree->model();
        for (int f = 0; f < m->rowCount(); ++f) {
            const QModelIndex folder = m->index(f, 0);
            for (int l = 0; l < m->rowCount(folder); ++l) {
                if (m->index(l, 0, folder).data().toString() == text)
                    return m->index(l, 0, folder);
            }
        }
        return {};
    }

    void clickRow(const QModelIndex &index)
    {
        ASSERT_TRUE(index.isValid());
        tree->scrollTo(index);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
    }

    QString currentText() const { return tree->currentIndex().data().toString(); }

    TempFolder dir;
    std::unique_ptr<MainWindow> window;
    QLineEdit *field = nullptr;
    QTreeView *tree = nullptr;
};

const QString kWholeTree = QStringLiteral("Weapons[Arena One, Railgun Caf\u00E9] Maps[Big Arena, Q2DM1 remake] Empty[]");

} // namespace

TEST_F(FilterWindowTest, TypingShowsMatchesOpenedAndClearingRestoresTheTree)
{
    start();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Filter mods"));
    EXPECT_EQ(field->accessibleName(), QStringLiteral("Filter mods"));
    EXPECT_TRUE(field->isVisible());
    EXPECT_EQ(shown(), kWholeTree);

    // The user had opened Maps before filtering.
    tree->expand(tree->model()->index(1, 0));
    const struct
    {
        const char *typed;
        const char *tree;
    } rows[] = {
        {"a", "Weapons+[Arena One, Railgun Caf\u00E9] Maps+[Big Arena, Q2DM1 remake]"},
        {"R", "Weapons+[Arena One] Maps+[Big Arena]"}, // "aR"
        {"e", "Weapons+[Arena One] Maps+[Big Arena]"}, // "aRe"
        {"x", ""},                                      // "aRex": nothing
    };
    for (const auto &row : rows) {
        QTest::keyClicks(field, QString::fromLatin1(row.typed));
        EXPECT_EQ(shown(), QString::fromUtf8(row.tree)) << field->text().toStdString();
    }
    field->setText(QStringLiteral("CAF\u00C9"));
    EXPECT_EQ(shown(), QStringLiteral("Weapons+[Railgun Caf\u00E9]"));

    field->clear();
    EXPECT_EQ(shown(), QStringLiteral("Weapons[Arena One, Railgun Caf\u00E9] Maps+[Big Arena, Q2DM1 remake] Empty[]"))
        << "the folders open before the filter are open again";
}

TEST_F(FilterWindowTest, AFilteredNodeOpensLikeAnyOther)
{
    MainWindow &w = start();
    QTest::keyClicks(field, QStringLiteral("q2dm"));
    clickRow(linkRow(QStringLiteral("Q2DM1 remake")));
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://m/2"));
    const int node = w.lastNode();
    ASSERT_TRUE(w.treeModel().tree().isLink(node));
    EXPECT_EQ(w.treeModel().tree().text(node), QStringLiteral("Q2DM1 remake"));

    w.findChild<QAbstractButton *>(QStringLiteral("addfav"))->click();
    EXPECT_EQ(favourites.names(), QStringList{QStringLiteral("Q2DM1 remake")});
    EXPECT_EQ(favourites.row(0).url, QStringLiteral("http://m/2"));

    // Enter on a filtered node, then a folder click, as without a filter.
    field->setText(QStringLiteral("arena"));
    tree->setCurrentIndex(linkRow(QStringLiteral("Big Arena")));
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://m/1"));
    const int navigations = int(web().navigations.size());
    clickRow(tree->model()->index(0, 0));
    EXPECT_EQ(web().navigations.size(), navigations) << "a folder opens nothing";
    EXPECT_EQ(w.lastNode(), 0) << "the filtered tree's first folder is Weapons, node 0";
}

TEST_F(FilterWindowTest, TheCurrentNodeStaysCurrentWhileShown)
{
    start();
    tree->expandAll();
    clickRow(linkRow(QStringLiteral("Big Arena")));
    field->setText(QStringLiteral("big"));
    EXPECT_EQ(currentText(), QStringLiteral("Big Arena"));
    field->setText(QStringLiteral("railgun"));
    EXPECT_FALSE(tree->currentIndex().isValid()) << "hidden now";
    field->setText(QStringLiteral("big a"));
    tree->collapseAll();
    field->clear();
    EXPECT_EQ(currentText(), QStringLiteral("Big Arena"));
    EXPECT_TRUE(tree->isExpanded(tree->currentIndex().parent())) << "cleared, the node is kept in sight";
}

TEST_F(FilterWindowTest, CtrlKFocusesTheFieldAndEscClearsIt)
{
    MainWindow &w = start();
    field->setText(QStringLiteral("arena"));
    tree->setFocus();
    QTest::keyClick(&w, Qt::Key_K, Qt::ControlModifier);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->selectedText(), QStringLiteral("arena")) << "typing replaces the old text";

    const int stops = web().stops;
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(field->text(), QString());
    EXPECT_EQ(shown(), kWholeTree);
    EXPECT_EQ(web().stops, stops) << "Esc in the field clears it and does not stop the page";
    EXPECT_TRUE(field->hasFocus());

    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(web().stops, stops + 1) << "with the field empty, Esc stops the page as elsewhere";
}

TEST_F(FilterWindowTest, DownOrEnterInTheFieldGoesToTheFirstMatch)
{
    start();
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Return}) {
        field->setFocus();
        field->setText(QStringLiteral("arena"));
        tree->setCurrentIndex({});
        QTest::keyClick(field, key);
        EXPECT_TRUE(tree->hasFocus()) << key;
        EXPECT_EQ(currentText(), QStringLiteral("Arena One")) << key;
        field->clear();
    }
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://w/1"));
}

TEST_F(FilterWindowTest, ListSwitchAndRebuildKeepTheFilter)
{
    MainWindow &w = start();
    field->setText(QStringLiteral("arena"));
    w.modc_Click(1);
    EXPECT_EQ(field->text(), QStringLiteral("arena"));
    EXPECT_EQ(shown(), QStringLiteral("Arenas+[Arena of Q3]"));

    w.modc_Click(0);
    EXPECT_EQ(shown(), QStringLiteral("Weapons+[Arena One] Maps+[Big Arena]"));
    // The list file changes on disk and the tree is rebuilt, as after "Update list".
    dir.write(QStringLiteral("q2modlist.dat"), crlfLines({"[ValidHeader]", "New", "---", "New?Arena Two?http://n/1",
                                                          "New?Other?http://n/2"}));
    w.OpenOptions(dir.file(QStringLiteral("q2modlist.dat")));
    EXPECT_EQ(shown(), QStringLiteral("New+[Arena Two]"));
    clickRow(linkRow(QStringLiteral("Arena Two")));
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://n/1"));

    field->clear();
    EXPECT_EQ(shown(), QStringLiteral("New+[Arena Two, Other]"))
        << "the folders open before the filter belonged to the old tree; the current node's is opened";
}

TEST_F(FilterWindowTest, FindSearchesTheWholeTreeAndClearsAFilterThatHidesItsMatch)
{
    MainWindow &w = start();
    field->setText(QStringLiteral("arena"));
    w.findChild<QAbstractButton *>(QStringLiteral("Command6"))->click();
    auto *find = w.findChild<FindDialog *>(QStringLiteral("FindDialog"));
    ASSERT_NE(find, nullptr);
    auto *findText = find->findChild<QLineEdit *>(QStringLiteral("Text1"));
    auto *findNext = find->findChild<QPushButton *>(QStringLiteral("Command1"));
    const int navigations = int(web().navigations.size());

    // A match the filter shows: the filter stays.
    findText->setText(QStringLiteral("big"));
    findNext->click();
    EXPECT_EQ(field->text(), QStringLiteral("arena"));
    EXPECT_EQ(tree->selectionModel()->selectedIndexes().value(0).data().toString(), QStringLiteral("Big Arena"));

    // A match the filter hides: the filter is cleared so that it can be selected.
    findText->setText(QStringLiteral("q2dm"));
    findNext->click();
    EXPECT_EQ(field->text(), QString());
    const QModelIndex selected = tree->selectionModel()->selectedIndexes().value(0);
    EXPECT_EQ(selected.data().toString(), QStringLiteral("Q2DM1 remake"));
    EXPECT_TRUE(tree->isExpanded(selected.parent()));
    EXPECT_EQ(web().navigations.size(), navigations) << "found, not clicked";

    // Nothing found: the filter is left alone.
    field->setText(QStringLiteral("rail"));
    findText->setText(QStringLiteral("no such mod"));
    findNext->click();
    EXPECT_EQ(field->text(), QStringLiteral("rail"));
}

TEST_F(FilterWindowTest, TheFieldSitsAboveTheTree)
{
    start();
    window->resize(900, 700);
    QCoreApplication::processEvents();
    const QRect f = field->geometry();
    const QRect t = tree->geometry();
    EXPECT_EQ(f.left(), t.left());
    EXPECT_EQ(f.width(), t.width());
    EXPECT_LT(f.bottom(), t.top());
    EXPECT_GE(f.height(), 15);
    const QWidget *modc = window->findChild<QWidget *>(QStringLiteral("modc"));
    EXPECT_LT(t.bottom(), modc->geometry().top()) << "the tree still ends above the list chooser";
}

TEST_F(FilterWindowTest, AHundredThousandLinksFilterCorrectly)
{
    QByteArray list = "[ValidHeader]\r\n";
    for (int f = 0; f < 50; ++f)
        list += "Folder " + QByteArray::number(f) + "\r\n";
    list += "---\r\n";
    for (int i = 0; i < 100000; ++i) {
        list += "Folder " + QByteArray::number(i % 50) + '?';
        list += (i % 10 == 3) ? "Rocket Arena " : "Lithium CTF ";
        list += QByteArray::number(i) + "?http://x/" + QByteArray::number(i) + "\r\n";
    }
    dir.write(QStringLiteral("q2modlist.dat"), list);
    MainWindow &w = start();
    ASSERT_EQ(w.treeModel().tree().linkCount(), 100000);

    QTest::keyClicks(field, QStringLiteral("ARENA 9"));
    // Rocket Arena i for i = 3, 13, ... with "9" after "Arena ": 9x..., 9xxx, 9xxxx.
    int expected = 0;
    for (int i = 3; i < 100000; i += 10)
        expected += QByteArray::number(i).startsWith('9') ? 1 : 0;
    EXPECT_EQ(w.treeFilter().shownLinkCount(), expected);
    const QAbstractItemModel *m = tree->model();
    int rows = 0;
    for (int f = 0; f < m->rowCount(); ++f) {
        EXPECT_TRUE(tree->isExpanded(m->index(f, 0)));
        rows += m->rowCount(m->index(f, 0));
    }
    EXPECT_EQ(rows, expected);

    clickRow(linkRow(QStringLiteral("Rocket Arena 99993")));
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://x/99993"));

    field->clear();
    EXPECT_EQ(w.treeFilter().shownLinkCount(), 100000);
    EXPECT_EQ(tree->model()->rowCount(), 50);
}
