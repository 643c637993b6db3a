#include "core/modlistloader.h"
#include "core/modtreefilter.h"
#include "core/modtreemodel.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

using namespace Qt::StringLiterals;

namespace {

struct Loaded
{
    ModTree tree;
    ModListLoad result;
    int warnings = 0;
};

// Loads `list` as q2modlist.dat with `master` as the master list; "-" leaves a file out.
Loaded load(const QByteArray &list, const QByteArray &master = "-")
{
    TempFolder dir;
    for (const auto &[name, bytes] : {std::pair{"q2modlist.dat", list}, {"defmodlist.dat", master}}) {
        if (bytes != "-")
            dir.write(QString::fromLatin1(name), bytes);
    }
    Loaded out;
    out.result = loadModList(dir.file(QStringLiteral("q2modlist.dat")), dir.path(), out.tree, [&out] { ++out.warnings; });
    return out;
}

// "Text|Key|Url|ParentText" of every node in tree order.
QStringList describe(const ModTree &tree)
{
    QStringList out;
    for (int n = 0; n < tree.count(); ++n) {
        const int p = tree.parent(n);
        out.append(tree.text(n) + u'|' + tree.key(n) + u'|' + tree.url(n) + u'|' + (p == ModTree::kNoNode ? QString() : tree.text(p)));
    }
    return out;
}

} // namespace

TEST(ModList, SectionsAndRecordCutting)
{
    const struct
    {
        const char *name;
        QByteArray file;
        QStringList nodes;
    } rows[] = {
        {"folders, then links in file order",
         crlfLines({"[ValidHeader]", "Total conversions", "Deathmatch", "---", "Deathmatch?Arena pack?U1", "Total conversions?Big mod?U2"}),
         {"Total conversions|Total conversions||", "Deathmatch|Deathmatch||", "Arena pack|a1|U1|Deathmatch",
          "Big mod|a2|U2|Total conversions"}},
        {"no --- line: folders only", crlfLines({"[ValidHeader]", "A", "B", "A?x?u"}), {"A|A||", "B|B||", "A?x?u|A?x?u||"}},
        {"ends right after ---", crlfLines({"[ValidHeader]", "A", "---"}), {"A|A||"}},
        {"url keeps its own question marks", crlfLines({"[ValidHeader]", "A", "---", "A?Q?http://h/p?id=1&x=?2"}),
         {"A|A||", "Q|a1|http://h/p?id=1&x=?2|A"}},
        {"keys count lines that add nothing", crlfLines({"[ValidHeader]", "A", "---", "A?one?u1", "Nowhere?two?u2", "A?three?u3"}),
         {"A|A||", "one|a1|u1|A", "three|a3|u3|A"}},
        {"a repeated folder adds nothing", crlfLines({"[ValidHeader]", "A", "B", "A", "---", "A?x?u"}), {"A|A||", "B|B||", "x|a1|u|A"}},
        {"lines with fewer than two ? are skipped but counted", crlfLines({"[ValidHeader]", "A", "---", "", "A?only name", "A?ok?u"}),
         {"A|A||", "ok|a3|u|A"}},
        {"empty fields are kept", crlfLines({"[ValidHeader]", "", "---", "??", "?n?"}), {"|||", "|a1||", "n|a2||"}},
        {"folder lines are taken untrimmed", crlfLines({"[ValidHeader]", " A ", "---", "A?x?u", " A ?y?v"}), {" A | A ||", "y|a2|v| A "}},
        {"a folder named like a link key takes that key", crlfLines({"[ValidHeader]", "a2", "---", "a2?x?u", "a2?y?v", "a2?z?w"}),
         {"a2|a2||", "x|a1|u|a2", "z|a3|w|a2"}},
        {"a second --- is a link line", crlfLines({"[ValidHeader]", "A", "---", "---", "A?x?u"}), {"A|A||", "x|a2|u|A"}},
        {"lone LF and no final line end", "[ValidHeader]\nA\n---\nA?x?u\nA?y?v", {"A|A||", "x|a1|u|A", "y|a2|v|A"}},
        {"a lone CR ends a link line", "[ValidHeader]\r\nA\r\n\r\n---\r\nA?x\r?y?z\r\nA?b?c", {"A|A||", "|||", "y|a2|z|", "b|a3|c|A"}},
        {"a line end right after the second ?", "[ValidHeader]\nA\n---\nA?x?\nA??", {"A|A||", "x|a1||A", "|a2||A"}},
        {"a byte order mark is part of the text", "[ValidHeader]\nCTF\n\xef\xbb\xbf" "CTF\n---\n\xef\xbb\xbf" "CTF?x?u\nCTF?y?v",
         {"CTF|CTF||", u"\uFEFFCTF|\uFEFFCTF||"_s, u"x|a1|u|\uFEFFCTF"_s, "y|a2|v|CTF"}},
        {"Windows-1252 link under a UTF-8 folder", "[ValidHeader]\r\nCaf\xc3\xa9\r\n---\r\nCaf\xe9?M\xf6\x64?u\r\n",
         {u"Caf\u00e9|Caf\u00e9||"_s, u"M\u00f6d|a1|u|Caf\u00e9"_s}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(describe(load(row.file).tree), row.nodes) << row.name;
}

TEST(ModList, FieldsOfEveryLengthSurviveEveryLineEnd)
{
    // Lines of every length from 4 to 84 bytes put each "?" and line end at
    // every position within a block of the line scan.
    for (const char *end : {"\r\n", "\n", "\r"}) {
        QByteArray file = QByteArray("[ValidHeader]") + end + "F" + end + "---" + end;
        QStringList nodes{"F|F||"};
        int counter = 0;
        // Short lines first: more links than the file's buffer keeps room for.
        for (int i = 0; i < 300; ++i) {
            file += QByteArray("F??") + end;
            nodes.append(u"|a%1||F"_s.arg(++counter));
        }
        for (int nameLength = 0; nameLength <= 40; ++nameLength) {
            for (int urlLength : {0, 1, 15, 16, 17, 40}) {
                const QByteArray name(nameLength, 'n'), url(urlLength, 'u');
                file += "F?" + name + '?' + url + end;
                nodes.append(QString::fromLatin1(name + "|a" + QByteArray::number(++counter) + '|' + url + "|F"));
            }
        }
        file += "F?last?no line end";
        nodes.append(QStringLiteral("last|a%1|no line end|F").arg(++counter));
        EXPECT_EQ(describe(load(file).tree), nodes) << QByteArray(end).toHex().constData();
    }
}

// A missing list gives way to the master list silently, a bad one with one
// warning; when the master list is bad too the tree stays empty.
TEST(ModList, MasterListStandsInForAMissingOrBadList)
{
    const QByteArray master = crlfLines({"[ValidHeader]", "Master", "---", "Master?m?mu"});
    const QByteArray bad = "not a list";
    using Source = ModListLoad::Source;
    const struct
    {
        const char *name;
        QByteArray list, master;
        int warnings;
        Source source;
    } rows[] = {
        {"list missing", "-", master, 0, Source::MasterList},
        {"header in another case", crlfLines({"[validheader]", "X"}), master, 1, Source::MasterList},
        {"empty list", "", master, 1, Source::MasterList},
        {"nul bytes", QByteArray(100, '\0'), master, 1, Source::MasterList},
        {"list missing, master missing", "-", "-", 1, Source::Nothing},
        {"list missing, master bad", "-", bad, 1, Source::Nothing},
        {"list bad, master missing", bad, "-", 1, Source::Nothing},
        {"list bad, master bad", bad, bad, 1, Source::Nothing},
    };
    for (const auto &row : rows) {
        const Loaded l = load(row.list, row.master);
        EXPECT_EQ(l.warnings, row.warnings) << row.name;
        EXPECT_EQ(l.result.source, row.source) << row.name;
        const QStringList master{QStringLiteral("Master|Master||"), QStringLiteral("m|a1|mu|Master")};
        EXPECT_EQ(describe(l.tree), row.source == Source::Nothing ? QStringList() : master) << row.name;
    }
}

// Links added past the reserved room, and a tree moved into the model.
TEST(ModTree, ChildListsFollowEveryAdditionAndAMove)
{
    ModTree tree;
    tree.reset(QByteArray("AB?x?y?z"));
    const ModTree::Span a{0, 1}, b{1, 1}, x{3, 1}, y{5, 1}, z{7, 1};
    ASSERT_TRUE(tree.addFolder(a) && tree.addFolder(b) && !tree.addFolder(a));
    tree.reserveLinks(1);
    for (quint32 counter = 1; counter < 40; ++counter)
        ASSERT_TRUE(tree.addLink(counter % 3 ? b : a, counter, x, counter % 2 ? y : z));
    EXPECT_FALSE(tree.addLink(a, 2, x, y)) << "a counter in use";
    EXPECT_FALSE(tree.addLink(x, 100, x, y)) << "no such folder";
    EXPECT_EQ(std::pair(tree.childCount(0), tree.childCount(1)), std::pair(13, 26));
    EXPECT_EQ(std::tuple(tree.child(0, 1), tree.row(tree.child(1, 25)), tree.url(2)), std::tuple(7, 25, u"y"_s));

    const QStringList nodes = describe(tree);
    ModTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.setTree(std::move(tree));
    EXPECT_EQ(tree.count(), 0) << "the moved-from tree is empty";
    EXPECT_EQ(describe(model.tree()), nodes);
    EXPECT_EQ(model.index(25, 0, model.index(1, 0)).data(ModTreeModel::UrlRole).toString(), u"z"_s);
}

// 100,000 links from disk, where the loader takes its large-file path, in 100
// folders with neighbouring links in different folders and one name in 20
// non-ASCII: the tree holds every link under its folder in file order, and the
// filter shows exactly the links that a plain text comparison finds.
TEST(ModList, AHundredThousandLinksLoadAndFilterLikeTextComparison)
{
    constexpr int kLinks = 100000, kFolders = 100;
    QByteArray list = "[ValidHeader]\r\n";
    for (int f = 0; f < kFolders; ++f)
        list += "Folder " + QByteArray::number(f) + "\r\n";
    list += "---\r\n";
    const char *const words[] = {"Arena", "Rocket", "CTF", "Lithium", "Railgun", "Chaos", "Zaero"};
    for (int i = 0; i < kLinks; ++i) {
        list += "Folder " + QByteArray::number(i % kFolders) + '?' + words[i % 7];
        list += (i % 40 == 3) ? " \xC3\x84rger " : (i % 40 == 9 ? " \xE4rger " : " mod ");
        list += QByteArray::number(i) + "?http://x/" + QByteArray::number(i) + "\r\n";
    }
    Loaded l = load(list);
    ASSERT_EQ(l.result.source, ModListLoad::Source::Requested);
    EXPECT_EQ(l.result.linesSkipped, 0);
    ASSERT_EQ(l.tree.linkCount(), kLinks);
    for (int f = 0; f < kFolders; ++f) {
        ASSERT_EQ(l.tree.childCount(f), kLinks / kFolders);
        for (int row = 0; row < kLinks / kFolders; ++row) {
            const int node = l.tree.child(f, row);
            ASSERT_EQ(node, kFolders + row * kFolders + f) << f << ' ' << row;
            ASSERT_EQ(l.tree.parent(node), f);
            ASSERT_EQ(l.tree.row(node), row);
        }
    }
    EXPECT_EQ(l.tree.key(l.tree.count() - 1), QStringLiteral("a100000"));
    EXPECT_EQ(l.tree.url(l.tree.count() - 1), QStringLiteral("http://x/99999"));

    ModTreeModel model;
    model.setTree(std::move(l.tree));
    ModTreeFilter filter;
    filter.setSourceModel(&model);
    for (const QString &text : {u"a"_s, u"RAIL"_s, u"\u00E4RGER"_s, u"mod 99999"_s, u"no such mod"_s}) {
        filter.setFilterText(text);
        std::vector<int> expected, got;
        for (int node = model.tree().folderCount(); node < model.tree().count(); ++node) {
            if (model.tree().text(node).contains(text, Qt::CaseInsensitive))
                expected.push_back(node);
        }
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
