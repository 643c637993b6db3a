#include "core/modlistloader.h"
#include "core/modtreefilter.h"
#include "core/modtreemodel.h"
#include "core/namematcher.h"
#include "core/textlines.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

ModTree treeOf(const QByteArray &list)
{
    ModTree tree;
    parseModList(list, tree);
    return tree;
}

// Folders Weapons, Maps and Empty; a UTF-8 and a Windows-1252 name among the links.
const QByteArray kList = crlfLines({"[ValidHeader]", "Weapons", "Maps", "Empty", "---",
                                    "Weapons?Arena One?http://w/1",
                                    "Maps?Big Arena?http://m/1",
                                    "Weapons?Railgun Caf\xC3\xA9?http://w/2",
                                    "Maps?Q2DM1 remake?http://m/2",
                                    "Maps?caf\xE9 maps?http://m/3"});

// The shown tree as "Folder[link, link] Folder[link]".
QString shown(const ModTreeFilter &filter)
{
    QStringList folders;
    for (int f = 0; f < filter.rowCount(); ++f) {
        const QModelIndex folder = filter.index(f, 0);
        QStringList links;
        for (int l = 0; l < filter.rowCount(folder); ++l)
            links.append(filter.index(l, 0, folder).data().toString());
        folders.append(folder.data().toString() + u'[' + links.join(QStringLiteral(", ")) + u']');
    }
    return folders.join(u' ');
}

class FilterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.setTree(treeOf(kList));
        filter.setSourceModel(&model);
    }

    ModTreeModel model;
    ModTreeFilter filter;
    QAbstractItemModelTester tester{&filter, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

} // namespace

TEST(NameMatcher, IgnoresLetterCaseInEveryEncoding)
{
    const struct
    {
        const char *what;
        QString text;
        QByteArray name;
        bool matches;
    } rows[] = {
        {"ASCII, same case", QStringLiteral("Arena"), "Big Arena", true},
        {"ASCII, other case", QStringLiteral("aReNA"), "BIG ARENA", true},
        {"at the very end", QStringLiteral("NA"), "Big Arena", true},
        {"after a false start", QStringLiteral("aab"), "aaab", true},
        {"not there", QStringLiteral("arenas"), "Big Arena", false},
        {"longer than the name", QStringLiteral("Big Arena 2"), "Big Arena", false},
        {"empty text is in every name", QString(), "Big Arena", true},
        {"empty text, empty name", QString(), "", true},
        {"text in an empty name", QStringLiteral("a"), "", false},
        {"punctuation is not folded", QStringLiteral("["), "{x}", false},
        {"UTF-8 name, upper-case text", QStringLiteral("CAF\u00C9"), "Railgun Caf\xC3\xA9", true},
        {"Windows-1252 name, upper-case text", QStringLiteral("CAF\u00C9"), "caf\xE9 maps", true},
        {"non-ASCII name, ASCII text", QStringLiteral("RAILGUN"), "Railgun Caf\xC3\xA9", true},
        {"accented text, plain name", QStringLiteral("caf\u00E9"), "cafe", false},
        {"plain text, accented name", QStringLiteral("cafe"), "caf\xC3\xA9", false},
        {"Kelvin sign folds to k", QStringLiteral("\u212A"), "kilo", true},
        {"Greek, other case", QStringLiteral("\u03A3\u03A4"), "\xCF\x83\xCF\x84", true},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(NameMatcher(row.text).matches(row.name), row.matches) << row.what;
        // Whatever the path taken, the answer is the one text comparison gives.
        EXPECT_EQ(decodeText(row.name).contains(row.text, Qt::CaseInsensitive), row.matches) << row.what;
    }
}

TEST_F(FilterTest, ShowsOnlyMatchingLinksUnderTheirFolders)
{
    const struct
    {
        const char *text;
        const char *tree;
    } rows[] = {
        {"", "Weapons[Arena One, Railgun Caf\u00E9] Maps[Big Arena, Q2DM1 remake, caf\u00E9 maps] Empty[]"},
        {"arena", "Weapons[Arena One] Maps[Big Arena]"},
        {"ARENA", "Weapons[Arena One] Maps[Big Arena]"},
        {"q2dm", "Maps[Q2DM1 remake]"},
        {"maps", "Maps[caf\u00E9 maps]"}, // the folder's own name does not count
        {"CAF\u00C9", "Weapons[Railgun Caf\u00E9] Maps[caf\u00E9 maps]"},
        {"no such mod", ""},
        {"e", "Weapons[Arena One] Maps[Big Arena, Q2DM1 remake]"}, // "é" is not "e"
    };
    for (const auto &row : rows) {
        filter.setFilterText(QString::fromUtf8(row.text));
        EXPECT_EQ(shown(filter), QString::fromUtf8(row.tree)) << row.text;
        EXPECT_EQ(filter.isFiltering(), *row.text != 0) << row.text;
    }
    filter.setFilterText(QString());
    EXPECT_EQ(filter.shownLinkCount(), 5);
    EXPECT_EQ(filter.rowCount(), 3) << "cleared, even a folder without links is back";
}

TEST_F(FilterTest, RowsMapBackToTheirNodes)
{
    for (const QString &text : {QString(), QStringLiteral("arena"), QStringLiteral("caf"), QStringLiteral("x")}) {
        filter.setFilterText(text);
        int linksSeen = 0;
        for (int f = 0; f < filter.rowCount(); ++f) {
            const QModelIndex folder = filter.index(f, 0);
            const int folderNode = filter.nodeOf(folder);
            EXPECT_EQ(model.tree().text(folderNode), folder.data().toString());
            EXPECT_EQ(folder.data(ModTreeModel::NodeRole).toInt(), folderNode);
            EXPECT_EQ(filter.indexOfNode(folderNode), folder);
            for (int l = 0; l < filter.rowCount(folder); ++l, ++linksSeen) {
                const QModelIndex link = filter.index(l, 0, folder);
                const int node = filter.nodeOf(link);
                ASSERT_TRUE(model.tree().isLink(node)) << text.toStdString();
                EXPECT_EQ(model.tree().parent(node), folderNode);
                EXPECT_EQ(link.data(ModTreeModel::NodeRole).toInt(), node);
                EXPECT_EQ(link.data(ModTreeModel::UrlRole).toString(), model.tree().url(node));
                EXPECT_EQ(model.nodeOf(filter.mapToSource(link)), node);
                EXPECT_EQ(filter.mapFromSource(model.indexOfNode(node)), link);
                EXPECT_EQ(filter.parent(link), folder);
            }
        }
        EXPECT_EQ(linksSeen, filter.shownLinkCount()) << text.toStdString();
    }

    // A hidden node has no row: the caller must clear the filter to show it.
    filter.setFilterText(QStringLiteral("q2dm"));
    const int arenaOne = model.tree().child(0, 0);
    EXPECT_FALSE(filter.indexOfNode(arenaOne).isValid());
    EXPECT_FALSE(filter.mapFromSource(model.indexOfNode(arenaOne)).isValid());
    EXPECT_FALSE(filter.indexOfNode(0).isValid()) << "Weapons keeps no link";
    EXPECT_FALSE(filter.indexOfNode(ModTree::kNoNode).isValid());
    EXPECT_FALSE(filter.indexOfNode(model.tree().count()).isValid());
    EXPECT_EQ(filter.nodeOf(QModelIndex()), ModTree::kNoNode);
    EXPECT_EQ(filter.nodeOf(model.indexOfNode(0)), ModTree::kNoNode) << "an index of another model";
}

TEST_F(FilterTest, ANewTreeIsFilteredWithTheSameText)
{
    filter.setFilterText(QStringLiteral("arena"));
    QSignalSpy resets(&filter, &QAbstractItemModel::modelReset);
    model.setTree(treeOf(crlfLines({"[ValidHeader]", "Quake3", "---", "Quake3?Arena of Q3?u", "Quake3?Other?u"})));
    EXPECT_EQ(resets.size(), 1);
    EXPECT_EQ(shown(filter), QStringLiteral("Quake3[Arena of Q3]"));

    model.setTree(ModTree());
    EXPECT_EQ(filter.rowCount(), 0);
    EXPECT_EQ(filter.filterText(), QStringLiteral("arena"));

    filter.setSourceModel(nullptr);
    EXPECT_EQ(filter.rowCount(), 0);
    EXPECT_EQ(filter.nodeOf(filter.index(0, 0)), ModTree::kNoNode);
}

TEST_F(FilterTest, TheSameTextAgainDoesNotResetTheViews)
{
    filter.setFilterText(QStringLiteral("arena"));
    QSignalSpy resets(&filter, &QAbstractItemModel::modelReset);
    filter.setFilterText(QStringLiteral("arena"));
    EXPECT_EQ(resets.size(), 0);
    filter.setFilterText(QStringLiteral("Arena"));
    EXPECT_EQ(resets.size(), 1) << "another text, though it shows the same rows";
}

TEST(ModTreeFilterLarge, FiltersAHundredThousandLinksLikeTextComparison)
{
    // 100,000 links in 100 folders, folder by folder scattered; one name in 40 non-ASCII.
    QByteArray list = "[ValidHeader]\r\n";
    for (int f = 0; f < 100; ++f)
        list += "Folder " + QByteArray::number(f) + "\r\n";
    list += "---\r\n";
    const char *const words[] = {"Arena", "Rocket", "CTF", "Lithium", "Railgun", "Chaos", "Zaero"};
    for (int i = 0; i < 100000; ++i) {
        list += "Folder " + QByteArray::number((i * 37) % 100) + '?';
        list += words[i % 7];
        list += (i % 40 == 3) ? " \xC3\x84rger " : (i % 40 == 9 ? " \xE4rger " : " mod ");
        list += QByteArray::number(i) + "?http://x/" + QByteArray::number(i) + "\r\n";
    }
    ModTreeModel model;
    model.setTree(treeOf(list));
    ASSERT_EQ(model.tree().linkCount(), 100000);
    ModTreeFilter filter;
    filter.setSourceModel(&model);

    for (const QString &text : {QStringLiteral("a"), QStringLiteral("RAIL"), QStringLiteral("\u00E4RGER"),
                                QStringLiteral("mod 99999"), QStringLiteral("no such mod")}) {
        filter.setFilterText(text);
        std::vector<int> expected;
        for (int node = model.tree().folderCount(); node < model.tree().count(); ++node) {
            if (model.tree().text(node).contains(text, Qt::CaseInsensitive))
                expected.push_back(node);
        }
        std::vector<int> got;
        for (int f = 0; f < filter.rowCount(); ++f) {
            const QModelIndex folder = filter.index(f, 0);
            ASSERT_GT(filter.rowCount(folder), 0) << "a folder without a match is hidden";
            for (int l = 0; l < filter.rowCount(folder); ++l)
                got.push_back(filter.nodeOf(filter.index(l, 0, folder)));
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected) << text.toStdString();
        EXPECT_EQ(filter.shownLinkCount(), int(expected.size()));
    }
}
