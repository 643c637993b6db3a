#include "core/modlistloader.h"
#include "core/modtreemodel.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

namespace {

struct Loaded
{
    ModTree tree;
    ModListLoad result;
    int warnings = 0;
};

// Loads `list` (written as q2modlist.dat unless null) with `master` as the master list.
Loaded load(const QByteArray *list, const QByteArray *master = nullptr)
{
    TempFolder dir;
    if (list)
        dir.write(QStringLiteral("q2modlist.dat"), *list);
    if (master)
        dir.write(QStringLiteral("defmodlist.dat"), *master);
    Loaded out;
    out.result = loadModList(dir.file(QStringLiteral("q2modlist.dat")), dir.path(), out.tree,
                             [&out] { ++out.warnings; });
    return out;
}

Loaded loadList(const QByteArray &list)
{
    return load(&list);
}

// "Text|Key|Tag|ParentText" of every node in tree order.
QStringList describe(const ModTree &tree)
{
    QStringList out;
    for (int n = 0; n < tree.count(); ++n) {
        const int p = tree.parent(n);
        out.append(tree.text(n) + u'|' + tree.key(n) + u'|' + tree.url(n) + u'|' +
                   (p == ModTree::kNoNode ? QString() : tree.text(p)));
    }
    return out;
}

const QByteArray kExample = crlfLines({"[ValidHeader]", "Total conversions", "Deathmatch", "---",
                                       "Deathmatch?Arena pack?U1", "Total conversions?Big mod?U2"});

} // namespace

TEST(ModList, BuildsFoldersAndLinksInFileOrder)
{
    const Loaded l = loadList(kExample);
    EXPECT_EQ(l.result.source, ModListLoad::Source::Requested);
    EXPECT_EQ(l.warnings, 0);
    EXPECT_EQ(describe(l.tree), (QStringList{
                                    "Total conversions|Total conversions||",
                                    "Deathmatch|Deathmatch||",
                                    "Arena pack|a1|U1|Deathmatch",
                                    "Big mod|a2|U2|Total conversions",
                                }));
    EXPECT_EQ(l.tree.childCount(1), 1);
    EXPECT_EQ(l.tree.child(1, 0), 2);
}

TEST(ModList, SectionsAndRecordCutting)
{
    struct Row
    {
        const char *name;
        QByteArray file;
        QStringList nodes;
    } rows[] = {
        {"no --- line: folders only",
         crlfLines({"[ValidHeader]", "A", "B", "A?x?u"}),
         {"A|A||", "B|B||", "A?x?u|A?x?u||"}},
        {"ends right after ---", crlfLines({"[ValidHeader]", "A", "---"}), {"A|A||"}},
        {"url keeps its own question marks",
         crlfLines({"[ValidHeader]", "A", "---", "A?Q?http://h/p?id=1&x=?2"}),
         {"A|A||", "Q|a1|http://h/p?id=1&x=?2|A"}},
        {"keys count lines that add nothing",
         crlfLines({"[ValidHeader]", "A", "---", "A?one?u1", "Nowhere?two?u2", "A?three?u3"}),
         {"A|A||", "one|a1|u1|A", "three|a3|u3|A"}},
        {"repeated folder adds nothing, its links go to the first",
         crlfLines({"[ValidHeader]", "A", "B", "A", "---", "A?x?u"}),
         {"A|A||", "B|B||", "x|a1|u|A"}},
        {"lines with fewer than two ? are skipped but counted",
         crlfLines({"[ValidHeader]", "A", "---", "", "A?only name", "A?ok?u"}),
         {"A|A||", "ok|a3|u|A"}},
        {"empty fields are kept",
         crlfLines({"[ValidHeader]", "", "---", "??", "?n?"}),
         {"|||", "|a1||", "n|a2||"}},
        {"folder lines are taken untrimmed",
         crlfLines({"[ValidHeader]", " A ", "---", "A?x?u", " A ?y?v"}),
         {" A | A ||", "y|a2|v| A "}},
        {"a folder named like a link key takes that key",
         crlfLines({"[ValidHeader]", "a2", "---", "a2?x?u", "a2?y?v", "a2?z?w"}),
         {"a2|a2||", "x|a1|u|a2", "z|a3|w|a2"}},
        {"a second --- is a link line",
         crlfLines({"[ValidHeader]", "A", "---", "---", "A?x?u"}),
         {"A|A||", "x|a2|u|A"}},
        {"lone LF and no final line end",
         "[ValidHeader]\nA\n---\nA?x?u\nA?y?v",
         {"A|A||", "x|a1|u|A", "y|a2|v|A"}},
        {"a lone CR ends a link line; the ? after it belong to the next line",
         "[ValidHeader]\r\nA\r\n\r\n---\r\nA?x\r?y?z\r\nA?b?c",
         {"A|A||", "|||", "y|a2|z|", "b|a3|c|A"}},
        {"a line end right after the second ?", "[ValidHeader]\nA\n---\nA?x?\nA??",
         {"A|A||", "x|a1||A", "|a2||A"}},
        {"a byte order mark is part of the text: two folders, links to each",
         "[ValidHeader]\nCTF\n\xef\xbb\xbf" "CTF\n---\n\xef\xbb\xbf" "CTF?\xef\xbb\xbfx?\xef\xbb\xbfu\nCTF?y?v",
         {"CTF|CTF||", QStringLiteral("\uFEFFCTF|\uFEFFCTF||"), QStringLiteral("\uFEFFx|a1|\uFEFFu|\uFEFFCTF"),
          "y|a2|v|CTF"}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(describe(loadList(row.file).tree), row.nodes) << row.name;
}

TEST(ModList, EightBitTextIsReadAsWindows1252AndMatchesUtf8Folders)
{
    const QByteArray file = "[ValidHeader]\r\nCaf\xc3\xa9\r\n---\r\nCaf\xe9?M\xf6\x64?u\r\n";
    const Loaded l = loadList(file);
    ASSERT_EQ(l.tree.count(), 2);
    EXPECT_EQ(l.tree.text(1), QString::fromUtf8("M\xc3\xb6\x64"));
    EXPECT_EQ(l.tree.text(l.tree.parent(1)), QString::fromUtf8("Caf\xc3\xa9"));
}

TEST(ModList, MasterListStandsInForAMissingOrBadFile)
{
    const QByteArray master = crlfLines({"[ValidHeader]", "Master", "---", "Master?m?mu"});

    // Missing: silently.
    Loaded l = load(nullptr, &master);
    EXPECT_EQ(l.warnings, 0);
    EXPECT_EQ(l.result.source, ModListLoad::Source::MasterList);
    EXPECT_EQ(describe(l.tree), (QStringList{"Master|Master||", "m|a1|mu|Master"}));

    // Bad header (differs only in case), empty, or garbage: warned once.
    for (const QByteArray &bad : {crlfLines({"[validheader]", "X"}), QByteArray(), QByteArray(100, '\0')}) {
        l = load(&bad, &master);
        EXPECT_EQ(l.warnings, 1);
        EXPECT_EQ(l.result.source, ModListLoad::Source::MasterList);
        EXPECT_EQ(l.tree.count(), 2);
    }
}

TEST(ModList, BadMasterListWarnsOnceAndLeavesTheTreeEmpty)
{
    const QByteArray bad = "not a list";
    struct Row
    {
        const char *name;
        const QByteArray *list;
        const QByteArray *master;
    } rows[] = {
        {"list missing, master missing", nullptr, nullptr},
        {"list missing, master bad", nullptr, &bad},
        {"list bad, master missing", &bad, nullptr},
        {"list bad, master bad", &bad, &bad},
    };
    for (const Row &row : rows) {
        const Loaded l = load(row.list, row.master);
        EXPECT_EQ(l.warnings, 1) << row.name;
        EXPECT_EQ(l.result.source, ModListLoad::Source::Nothing) << row.name;
        EXPECT_EQ(l.tree.count(), 0) << row.name;
    }
}

TEST(ModList, LoadingAgainReplacesTheTree)
{
    TempFolder dir;
    dir.write(QStringLiteral("one.dat"), kExample);
    dir.write(QStringLiteral("two.dat"), crlfLines({"[ValidHeader]", "Only", "---", "Only?x?u"}));
    ModTree tree;
    loadModList(dir.file(QStringLiteral("one.dat")), dir.path(), tree, {});
    EXPECT_EQ(tree.count(), 4);
    loadModList(dir.file(QStringLiteral("two.dat")), dir.path(), tree, {});
    EXPECT_EQ(describe(tree), (QStringList{"Only|Only||", "x|a1|u|Only"}));
}

TEST(ModTreeModel, ServesTheTreeToViews)
{
    ModTree tree;
    parseModList(crlfLines({"[ValidHeader]", "A", "B", "Empty", "---", "B?b1?u1", "A?a1?u2", "B?b2?u3"}), tree);
    ModTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.setTree(std::move(tree));

    ASSERT_EQ(model.rowCount(), 3);
    const QModelIndex b = model.index(1, 0);
    EXPECT_EQ(b.data().toString(), QStringLiteral("B"));
    EXPECT_EQ(model.rowCount(b), 2);
    EXPECT_FALSE(model.hasChildren(model.index(2, 0)));
    const QModelIndex b2 = model.index(1, 0, b);
    EXPECT_EQ(b2.data().toString(), QStringLiteral("b2"));
    EXPECT_EQ(b2.data(ModTreeModel::UrlRole).toString(), QStringLiteral("u3"));
    EXPECT_EQ(model.parent(b2), b);

    // Node numbers and indexes map both ways.
    for (int node = 0; node < model.tree().count(); ++node)
        EXPECT_EQ(model.nodeOf(model.indexOfNode(node)), node);

    const quint64 before = model.generation();
    model.setTree(ModTree());
    EXPECT_GT(model.generation(), before);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(ModList, LargeListKeepsEveryLink)
{
    QByteArray file = "[ValidHeader]\r\n";
    for (int f = 0; f < 50; ++f)
        file += "Folder " + QByteArray::number(f) + "\r\n";
    file += "---\r\n";
    const int links = 100000;
    for (int i = 0; i < links; ++i)
        file += "Folder " + QByteArray::number(i % 50) + "?Mod " + QByteArray::number(i) +
                "?http://example.test/mods/" + QByteArray::number(i) + ".htm\r\n";
    ModTree tree;
    EXPECT_EQ(parseModList(file, tree), 0);
    ASSERT_EQ(tree.linkCount(), links);
    const int last = tree.count() - 1;
    EXPECT_EQ(tree.key(last), QStringLiteral("a100000"));
    EXPECT_EQ(tree.text(last), QStringLiteral("Mod 99999"));
    EXPECT_EQ(tree.text(tree.parent(last)), QStringLiteral("Folder 49"));
    EXPECT_EQ(tree.childCount(49), links / 50);

    // The same list read from disk, where it takes the large-file path, gives
    // the same tree; every link sits under its folder in file order.
    TempFolder dir;
    dir.write(QStringLiteral("q2modlist.dat"), file);
    ModTree loaded;
    const ModListLoad result = loadModList(dir.file(QStringLiteral("q2modlist.dat")), dir.path(), loaded, {});
    EXPECT_EQ(result.linesSkipped, 0);
    ASSERT_EQ(loaded.count(), tree.count());
    for (int f = 0; f < 50; ++f) {
        ASSERT_EQ(loaded.childCount(f), links / 50);
        for (int row = 0; row < links / 50; ++row) {
            const int node = loaded.child(f, row);
            ASSERT_EQ(node, 50 + row * 50 + f) << f << ' ' << row;
            ASSERT_EQ(loaded.parent(node), f);
            ASSERT_EQ(loaded.row(node), row);
            ASSERT_EQ(loaded.textBytes(node), tree.textBytes(node));
        }
    }
    EXPECT_EQ(loaded.url(last), QStringLiteral("http://example.test/mods/99999.htm"));
}

TEST(ModList, FieldsOfEveryLengthSurviveEveryLineEnd)
{
    // Lines of every length from 4 to 84 bytes put each "?" and line end at
    // every position within a block of the line scan.
    for (const char *end : {"\r\n", "\n", "\r"}) {
        QByteArray file = QByteArray("[ValidHeader]") + end + "F" + end + "---" + end;
        QStringList nodes{"F|F||"};
        int counter = 0;
        for (int nameLength = 0; nameLength <= 40; ++nameLength) {
            for (int urlLength : {0, 1, 15, 16, 17, 40}) {
                const QByteArray name(nameLength, 'n');
                const QByteArray url = QByteArray(urlLength, 'u');
                file += "F?" + name + '?' + url + end;
                nodes.append(QString::fromLatin1(name) + QStringLiteral("|a") + QString::number(++counter) + u'|' +
                             QString::fromLatin1(url) + QStringLiteral("|F"));
            }
        }
        file += "F?last?no line end";
        nodes.append(QStringLiteral("last|a") + QString::number(++counter) + QStringLiteral("|no line end|F"));
        EXPECT_EQ(describe(loadList(file).tree), nodes) << QByteArray(end).toHex().constData();
    }
}

TEST(ModTree, ChildListsFollowEveryAddition)
{
    ModTree tree;
    tree.reset(QByteArray("AB?x?y?z"));
    const ModTree::Span a{0, 1}, b{1, 1}, x{3, 1}, y{5, 1}, z{7, 1};
    ASSERT_TRUE(tree.addFolder(a));
    ASSERT_TRUE(tree.addFolder(b));
    tree.reserveLinks(1); // later links outgrow the room
    ASSERT_TRUE(tree.addLink(a, 1, x, y));
    EXPECT_EQ(tree.child(0, 0), 2);
    ASSERT_TRUE(tree.addLink(b, 2, y, z));
    ASSERT_TRUE(tree.addLink(a, 3, z, x));
    EXPECT_EQ(tree.child(0, 1), 4);
    EXPECT_EQ(tree.child(1, 0), 3);
    EXPECT_EQ(tree.row(4), 1);
    EXPECT_EQ(tree.child(0, 2), ModTree::kNoNode);
    for (quint32 counter = 4; counter < 40; ++counter)
        ASSERT_TRUE(tree.addLink(b, counter, x, z));
    EXPECT_EQ(tree.childCount(1), 37);
    EXPECT_EQ(tree.child(1, 36), tree.count() - 1);
    EXPECT_EQ(tree.row(tree.count() - 1), 36);
    EXPECT_EQ(tree.key(tree.count() - 1), QStringLiteral("a39"));
    EXPECT_EQ(tree.text(2), QStringLiteral("x"));
    EXPECT_EQ(tree.url(2), QStringLiteral("y"));
    // A reused counter or an unknown folder adds nothing.
    EXPECT_FALSE(tree.addLink(a, 2, x, y));
    EXPECT_FALSE(tree.addLink(x, 100, x, y));
    EXPECT_EQ(tree.linkCount(), 39);
}

TEST(ModTree, AMovedTreeKeepsItsTextsAndLeavesAnEmptyOne)
{
    TempFolder dir;
    dir.write(QStringLiteral("q2modlist.dat"), kExample);
    ModTree loaded;
    loadModList(dir.file(QStringLiteral("q2modlist.dat")), dir.path(), loaded, {});
    const QStringList nodes = describe(loaded);
    ASSERT_EQ(nodes.size(), 4);

    ModTree moved = std::move(loaded);
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_EQ(loaded.childCount(0), 0);
    EXPECT_EQ(loaded.text(0), QString());
    EXPECT_EQ(describe(moved), nodes);

    ModTreeModel model;
    model.setTree(std::move(moved));
    EXPECT_EQ(describe(model.tree()), nodes);
    EXPECT_EQ(model.index(0, 0, model.index(1, 0)).data().toString(), QStringLiteral("Arena pack"));
}
