#include "core/modlistloader.h"
#include "core/modtreefilter.h"
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

// Folders Weapons, Maps and Empty; a UTF-8 and a Windows-1252 name among the links.
class ModTreeFilterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.setTree(treeOf(crlfLines({"[ValidHeader]", "Weapons", "Maps", "Empty", "---", "Weapons?Arena One?http://w/1",
                                        "Maps?Big Arena?http://m/1", "Weapons?Railgun Caf\xC3\xA9?http://w/2",
                                        "Maps?Q2DM1 remake?http://m/2", "Maps?caf\xE9 maps?http://m/3"})));
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
        {"ASCII, other case", QStringLiteral("aReNA"), "BIG ARENA", true},
        {"at the very end", QStringLiteral("NA"), "Big Arena", true},
        {"after a false start", QStringLiteral("aab"), "aaab", true},
        {"longer than the name", QStringLiteral("Big Arena 2"), "Big Arena", false},
        {"empty text, empty name", QString(), "", true},
        {"text in an empty name", QStringLiteral("a"), "", false},
        {"punctuation is not folded", QStringLiteral("["), "{x}", false},
        {"UTF-8 name, upper-case text", QStringLiteral("CAF\u00C9"), "Railgun Caf\xC3\xA9", true},
        {"Windows-1252 name, upper-case text", QStringLiteral("CAF\u00C9"), "caf\xE9 maps", true},
        {"non-ASCII name, ASCII text", QStringLiteral("RAILGUN"), "Railgun Caf\xC3\xA9", true},
        {"accented text, plain name", QStringLiteral("caf\u00E9"), "cafe", false},
        {"sharp s is no SS", QStringLiteral("strasse"), "Stra\xC3\x9F" "e", false},
        {"a byte no character of the text", QStringLiteral("railgun"), "Rail\x81gun", false},
        {"Kelvin sign folds to k", QStringLiteral("\u212A"), "kilo", true},
        {"Greek, other case", QStringLiteral("\u03A3\u03A4"), "\xCF\x83\xCF\x84", true},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(NameMatcher(row.text).matches(row.name), row.matches) << row.what;
        // Whatever the path taken, the answer is the one text comparison gives.
        EXPECT_EQ(decodeText(row.name).contains(row.text, Qt::CaseInsensitive), row.matches) << row.what;
    }
}

TEST_F(ModTreeFilterTest, ShowsOnlyMatchingLinksUnderTheirFoldersAndMapsThemToTheirNodes)
{
    const struct
    {
        const char *text, *tree;
    } rows[] = {
        {"", "Weapons[Arena One, Railgun Caf\u00E9] Maps[Big Arena, Q2DM1 remake, caf\u00E9 maps] Empty[]"},
        {"ARENA", "Weapons[Arena One] Maps[Big Arena]"},
        {"maps", "Maps[caf\u00E9 maps]"}, // the folder's own name does not count
        {"CAF\u00C9", "Weapons[Railgun Caf\u00E9] Maps[caf\u00E9 maps]"},
        {"e", "Weapons[Arena One] Maps[Big Arena, Q2DM1 remake]"}, // "é" is not "e"
        {"no such mod", ""},
    };
    for (const auto &row : rows) {
        filter.setFilterText(QString::fromUtf8(row.text));
        EXPECT_EQ(shown(filter), QString::fromUtf8(row.tree)) << row.text;
        for (int f = 0; f < filter.rowCount(); ++f) {
            const QModelIndex folder = filter.index(f, 0);
            EXPECT_EQ(filter.indexOfNode(filter.nodeOf(folder)), folder);
            for (int l = 0; l < filter.rowCount(folder); ++l) {
                const QModelIndex link = filter.index(l, 0, folder);
                const int node = filter.nodeOf(link);
                EXPECT_EQ(model.tree().parent(node), filter.nodeOf(folder)) << row.text;
                EXPECT_EQ(link.data(ModTreeModel::NodeRole).toInt(), node);
                EXPECT_EQ(link.data(ModTreeModel::UrlRole).toString(), model.tree().url(node));
                EXPECT_EQ(filter.mapFromSource(model.indexOfNode(node)), link);
            }
        }
    }
    // A hidden node has no row: the caller must clear the filter to show it.
    filter.setFilterText(QStringLiteral("q2dm"));
    EXPECT_FALSE(filter.indexOfNode(3).isValid()) << "Arena One";
    EXPECT_FALSE(filter.indexOfNode(0).isValid()) << "Weapons keeps no link";
    EXPECT_FALSE(filter.indexOfNode(model.tree().count()).isValid());
    EXPECT_EQ(filter.nodeOf(model.indexOfNode(0)), ModTree::kNoNode) << "an index of another model";
}

TEST_F(ModTreeFilterTest, ANewTreeIsFilteredWithTheSameTextAndTheSameTextResetsNothing)
{
    filter.setFilterText(QStringLiteral("arena"));
    QSignalSpy resets(&filter, &QAbstractItemModel::modelReset);
    filter.setFilterText(QStringLiteral("arena"));
    EXPECT_EQ(resets.size(), 0);
    model.setTree(treeOf(crlfLines({"[ValidHeader]", "Quake3", "---", "Quake3?Arena of Q3?u", "Quake3?Other?u"})));
    EXPECT_EQ(resets.size(), 1);
    EXPECT_EQ(shown(filter), QStringLiteral("Quake3[Arena of Q3]"));
    filter.setSourceModel(nullptr);
    EXPECT_EQ(filter.rowCount(), 0);
}

// A text that contains the one before only narrows the links shown: at every
// key, what a filter following the typing shows is what a fresh filter shows.
TEST_F(ModTreeFilterTest, NarrowingAsTheUserTypesShowsWhatAFreshFilterShows)
{
    using namespace Qt::StringLiterals;
    model.setTree(treeOf(crlfLines({"[ValidHeader]", "Weapons", "Maps", "---", "Weapons?Railgun Arena?u",
                                    "Maps?RAIL yard?u", "Weapons?Railgun Caf\xC3\xA9?u", "Maps?caf\xE9 maps?u",
                                    "Maps?kilo rail?u", "Weapons?Big Arena?u"})));
    const struct
    {
        const char *what;
        QStringList typed; // the field's text after each key
    } rows[] = {
        {"a word, key by key", {u"r"_s, u"ra"_s, u"rai"_s, u"rail"_s, u"railg"_s, u"railgun"_s}},
        {"letter case changes", {u"R"_s, u"Ra"_s, u"RaI"_s, u"rAiL "_s, u"rail Y"_s}},
        {"non-ASCII, either encoding", {u"c"_s, u"ca"_s, u"caf"_s, u"caf\u00C9"_s, u"caf\u00E9 "_s, u"CAF\u00C9 M"_s}},
        {"a sign that folds to ASCII", {u"\u212A"_s, u"\u212Ai"_s, u"\u212Ailo"_s}},
        {"typed in front and behind", {u"ail"_s, u"rail"_s, u"rail "_s, u" rail "_s}},
        {"a key taken back, another typed", {u"are"_s, u"ar"_s, u"arena"_s, u"arenas"_s, u"arena"_s}},
        {"to nothing and back", {u"rail"_s, u"railx"_s, u"rail"_s, u""_s, u"big"_s}},
    };
    // A node's row and its folder's, (-1, -1) for a hidden one.
    const auto where = [](const ModTreeFilter &f, int node) {
        const QModelIndex index = f.indexOfNode(node);
        return std::pair(index.row(), index.parent().row());
    };
    for (const auto &row : rows) {
        ModTreeFilter typing;
        typing.setSourceModel(&model);
        QAbstractItemModelTester typingTester(&typing, QAbstractItemModelTester::FailureReportingMode::Fatal);
        for (const QString &text : row.typed) {
            typing.setFilterText(text);
            ModTreeFilter fresh;
            fresh.setSourceModel(&model);
            fresh.setFilterText(text);
            EXPECT_EQ(shown(typing), shown(fresh)) << row.what << ": " << text.toStdString();
            for (int node = 0; node < model.tree().count(); ++node)
                EXPECT_EQ(where(typing, node), where(fresh, node)) << row.what << ": " << text.toStdString() << node;
        }
    }
}
