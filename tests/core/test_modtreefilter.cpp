#include "core/modlistloader.h"
#include "core/modtreefilter.h"
#include "core/namematcher.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

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
        folders.append(folder.data().toString() + u'[' + links.join(u", ") + u']');
    }
    return folders.join(u' ');
}

// Folders Weapons, Maps and Empty; a UTF-8 and a Windows-1252 name among the links.
class ModTreeFilterTest : public ::testing::Test
{
protected:
    ModTreeFilterTest()
    {
        model.setTree(treeOf(crlfLines({"[ValidHeader]", "Weapons", "Maps", "Empty", "---", "Weapons?Arena One?http://w/1",
                                        "Maps?Big Arena?http://m/1", "Weapons?Railgun Caf\xC3\xA9?http://w/2", "Maps?Q2DM1 remake?http://m/2",
                                        "Maps?caf\xE9 maps?http://m/3", "Maps?RAIL yard?http://m/4", "Weapons?kilo rail?http://w/3"})));
        filter.setSourceModel(&model);
    }

    ModTreeModel model;
    ModTreeFilter filter;
    QAbstractItemModelTester modelTester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QAbstractItemModelTester filterTester{&filter, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

} // namespace

// Whatever path the matcher takes, its answer is a case-insensitive comparison of the decoded name's text.
TEST(NameMatcher, FindsWhatTextComparisonFinds)
{
    const QString texts[] = {
        u"aReNA"_s, u"NA"_s, u"aab"_s, u"Big Arena 2"_s, {}, u"["_s, u"CAF\u00C9"_s, u"RAILGUN"_s, u"caf\u00E9"_s,
        u"strasse"_s, u"\u212A"_s /* Kelvin sign */, u"\u03A3\u03A4"_s, u"e"_s,
    };
    const QByteArray names[] = {
        "BIG ARENA", "aaab", "", "{x}", "Railgun Caf\xC3\xA9", "caf\xE9 maps", "cafe", "Stra\xC3\x9F" "e", "Rail\x81gun",
        "kilo", "\xCF\x83\xCF\x84", "a\xE9",
    };
    for (const QString &text : texts) {
        for (const QByteArray &name : names) {
            EXPECT_EQ(NameMatcher(text).matches(name), decodeText(name).contains(text, Qt::CaseInsensitive))
                << text.toStdString() << " in " << name.toStdString();
        }
    }
}

TEST_F(ModTreeFilterTest, ShowsOnlyMatchingLinksUnderTheirFoldersAndFollowsNewTrees)
{
    const struct { const char *text, *tree; } rows[] = {
        {"", "Weapons[Arena One, Railgun Caf\u00E9, kilo rail] Maps[Big Arena, Q2DM1 remake, caf\u00E9 maps, RAIL yard] Empty[]"},
        {"ARENA", "Weapons[Arena One] Maps[Big Arena]"},
        {"maps", "Maps[caf\u00E9 maps]"}, // the folder's own name does not count
        {"CAF\u00C9", "Weapons[Railgun Caf\u00E9] Maps[caf\u00E9 maps]"},
        {"no such mod", ""},
    };
    for (const auto &row : rows) {
        filter.setFilterText(QString::fromUtf8(row.text));
        EXPECT_EQ(shown(filter), QString::fromUtf8(row.tree)) << row.text;
        // Every shown row, folder (l = -1) or link, maps to its node and back.
        for (int f = 0; f < filter.rowCount(); ++f) {
            const QModelIndex folder = filter.index(f, 0);
            for (int l = -1; l < filter.rowCount(folder); ++l) {
                const QModelIndex index = l < 0 ? folder : filter.index(l, 0, folder);
                const int node = filter.nodeOf(index);
                EXPECT_EQ(model.tree().parent(node), l < 0 ? ModTree::kNoNode : filter.nodeOf(folder)) << row.text;
                EXPECT_TRUE(filter.indexOfNode(node) == index && filter.mapFromSource(model.indexOfNode(node)) == index
                            && index.data(ModTreeModel::UrlRole).toString() == model.tree().url(node)) << row.text << node;
            }
        }
    }
    // A hidden node has no row: the caller must clear the filter to show it.
    filter.setFilterText(u"q2dm"_s);
    EXPECT_FALSE(filter.indexOfNode(3).isValid()) << "Arena One";
    EXPECT_FALSE(filter.indexOfNode(0).isValid()) << "Weapons keeps no link";
    EXPECT_FALSE(filter.indexOfNode(model.tree().count()).isValid());
    EXPECT_EQ(filter.nodeOf(model.indexOfNode(0)), ModTree::kNoNode) << "an index of another model";

    // The same text again resets nothing; a new tree is filtered with the text.
    QSignalSpy resets(&filter, &QAbstractItemModel::modelReset);
    filter.setFilterText(u"q2dm"_s);
    EXPECT_EQ(resets.size(), 0);
    model.setTree(treeOf(crlfLines({"[ValidHeader]", "Quake3", "---", "Quake3?Q2DM1 for Q3?u", "Quake3?Other?u"})));
    EXPECT_EQ(std::pair(resets.size(), shown(filter)), std::pair(qsizetype(1), u"Quake3[Q2DM1 for Q3]"_s));
    filter.setSourceModel(nullptr);
    EXPECT_EQ(filter.rowCount(), 0);
}

// A text that contains the one before only narrows the links shown, as a fresh filter would.
TEST_F(ModTreeFilterTest, NarrowingAsTheUserTypesShowsWhatAFreshFilterShows)
{
    const struct { const char *what; QStringList typed; } rows[] = { // the field's text after each key
        {"a word, key by key", {u"r"_s, u"ra"_s, u"rai"_s, u"rail"_s, u"railg"_s, u"railgun"_s}},
        {"letter case changes", {u"R"_s, u"Ra"_s, u"RaI"_s, u"rAiL "_s, u"rail Y"_s}},
        {"non-ASCII, either encoding", {u"c"_s, u"ca"_s, u"caf"_s, u"caf\u00C9"_s, u"caf\u00E9 "_s, u"CAF\u00C9 M"_s}},
        {"a sign that folds to ASCII", {u"\u212A"_s, u"\u212Ai"_s, u"\u212Ailo"_s}},
        {"typed in front and behind", {u"ail"_s, u"rail"_s, u"rail "_s, u" rail "_s}},
        {"a key taken back, another typed", {u"are"_s, u"ar"_s, u"arena"_s, u"arenas"_s, u"arena"_s}},
        {"to nothing and back", {u"rail"_s, u"railx"_s, u"rail"_s, u""_s, u"big"_s}},
    };
    // What a filter shows, and every node's row and its folder's (-1/-1 for a hidden one).
    const auto state = [this](const ModTreeFilter &shownBy) {
        QString out = shown(shownBy);
        for (int node = 0; node < model.tree().count(); ++node) {
            const QModelIndex index = shownBy.indexOfNode(node);
            out += u" %1/%2"_s.arg(index.row()).arg(index.parent().row());
        }
        return out;
    };
    for (const auto &row : rows) {
        filter.setFilterText({});
        for (const QString &text : row.typed) {
            filter.setFilterText(text);
            ModTreeFilter fresh;
            fresh.setSourceModel(&model);
            fresh.setFilterText(text);
            EXPECT_EQ(state(filter), state(fresh)) << row.what << ": " << text.toStdString();
        }
    }
}
