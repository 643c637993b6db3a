#include "core/listcheck.h"
#include "core/modlistloader.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QTextStream>

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
            dir.write(name, bytes);
    }
    Loaded out;
    out.result = loadModList(dir.file("q2modlist.dat"), dir.path(), out.tree, [&out] { ++out.warnings; });
    return out;
}

// "Text|Key|Url|ParentText" of every node in tree order.
QStringList describe(const ModTree &tree)
{
    QStringList out;
    for (int n = 0; n < tree.count(); ++n) {
        const int p = tree.parent(n);
        out.append(tree.text(n) + u'|' + tree.key(n) + u'|' + tree.url(n) + u'|' + (p >= 0 ? tree.text(p) : QString()));
    }
    return out;
}

} // namespace

// More of the sections' rules are in the --check test below.
TEST(ModList, SectionsAndRecordCutting)
{
    const struct { const char *name; QByteArray file; QStringList nodes; } rows[] = {
        {"no --- line: folders only", crlfLines({"[ValidHeader]", "A", "B", "A?x?u"}), {"A|A||", "B|B||", "A?x?u|A?x?u||"}},
        {"ends right after ---", crlfLines({"[ValidHeader]", "A", "---"}), {"A|A||"}},
        {"url keeps its own question marks, to the file's last byte", "[ValidHeader]\nA\n---\nA?Q?http://h/p?id=1&x=?2",
         {"A|A||", "Q|a1|http://h/p?id=1&x=?2|A"}},
        {"lines with fewer than two ? are skipped but counted", crlfLines({"[ValidHeader]", "A", "---", "", "A?only name", "A?ok?u"}),
         {"A|A||", "ok|a3|u|A"}},
        {"empty fields are kept", crlfLines({"[ValidHeader]", "", "---", "??", "?n?"}), {"|||", "|a1||", "n|a2||"}},
        {"folder lines are taken untrimmed", crlfLines({"[ValidHeader]", " A ", "---", "A?x?u", " A ?y?v"}), {" A | A ||", "y|a2|v| A "}},
        {"a second --- is a link line", crlfLines({"[ValidHeader]", "A", "---", "---", "A?x?u"}), {"A|A||", "x|a2|u|A"}},
        {"a lone CR ends a link line", "[ValidHeader]\r\nA\r\n\r\n---\r\nA?x\r?y?z\r\nA?b?c", {"A|A||", "|||", "y|a2|z|", "b|a3|c|A"}},
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

// A missing list gives way silently, a bad one with one warning; a bad master list leaves the tree empty.
TEST(ModList, MasterListStandsInForAMissingOrBadList)
{
    const QByteArray master = crlfLines({"[ValidHeader]", "Master", "---", "Master?m?mu"}), bad = "not a list";
    using Source = ModListLoad::Source;
    const struct { const char *name; QByteArray list, master; int warnings; Source source; } rows[] = {
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
        EXPECT_EQ(std::pair(l.warnings, l.result.source), std::pair(row.warnings, row.source)) << row.name;
        const QStringList nodes = row.source == Source::Nothing ? QStringList()
                                                                : QStringList{"Master|Master||", "m|a1|mu|Master"};
        EXPECT_EQ(describe(l.tree), nodes) << row.name;
    }
}

// From disk, where the loader takes its large-file path; neighbouring links in different folders.
TEST(ModList, AHundredThousandLinksLoadUnderTheirFoldersInFileOrder)
{
    constexpr int kLinks = 100000, kFolders = 100;
    QByteArray list = "[ValidHeader]\r\n";
    for (int f = 0; f < kFolders; ++f)
        list += "Folder " + QByteArray::number(f) + "\r\n";
    list += "---\r\n";
    for (int i = 0; i < kLinks; ++i) {
        const QByteArray n = QByteArray::number(i);
        list += "Folder " + QByteArray::number(i % kFolders) + "?Rocket mod " + n + "?http://x/" + n + "\r\n";
    }
    const Loaded l = load(list);
    ASSERT_EQ(std::tuple(l.result.source, l.result.linesSkipped, l.tree.linkCount()),
              std::tuple(ModListLoad::Source::Requested, 0, kLinks));
    for (int node = kFolders; node < l.tree.count(); ++node) {
        const int folder = (node - kFolders) % kFolders, row = (node - kFolders) / kFolders;
        ASSERT_TRUE(l.tree.parent(node) == folder && l.tree.row(node) == row && l.tree.child(folder, row) == node) << node;
    }
    EXPECT_EQ(describe(l.tree).last(), u"Rocket mod 99999|a100000|http://x/99999|Folder 99"_s);
}

// "--check FILE": every node, and every line that made none with its reason.
TEST(ModList, CheckPrintsTheNodesAndTheLinesThatMadeNone)
{
    const struct { const char *name; QByteArray file; QString out, err; int status; } rows[] = {
        // "F" in err stands for the file's path
        {"every kind of line",
         crlfLines({"[ValidHeader]", "Maps", "Weapons", "Maps", "a3", "---", "Maps?Big Arena?http://m/1", "Nowhere?Lost?http://l/1",
                    "no separators", "Weapons?Rail?http://w/1?x=1", "Maps?Caf\xc3\xa9?http://m/2"}),
         u"Maps\tMaps\t-\t\nWeapons\tWeapons\t-\t\na3\ta3\t-\t\na1\tBig Arena\tMaps\thttp://m/1\n"
         u"a4\tRail\tWeapons\thttp://w/1?x=1\na5\tCaf\u00e9\tMaps\thttp://m/2\n"_s,
         u"F:4: the folder \"Maps\" is there already\nF:8: no folder named \"Nowhere\"\n"
         u"F:9: no folder, name and address: a link reads folder?name?address\n"_s,
         0},
        {"a link whose key is a folder's name", crlfLines({"[ValidHeader]", "a1", "---", "a1?Self?http://s/1"}), u"a1\ta1\t-\t\n"_s,
         u"F:4: its key a1 is a folder's name\n"_s, 0},
        {"no header", crlfLines({"[validheader]", "Maps"}), {}, u"F:1: the first line is not [ValidHeader]\n"_s, 1},
    };
    for (const auto &row : rows) {
        TempFolder dir;
        dir.write("list.dat", row.file);
        QString out, err;
        {
            QTextStream outStream(&out), errStream(&err);
            EXPECT_EQ(checkModList(dir.file("list.dat"), outStream, errStream), row.status) << row.name;
        }
        EXPECT_EQ(out, row.out) << row.name;
        EXPECT_EQ(err, QString(row.err).replace("F:", dir.file("list.dat") + u':')) << row.name;
    }
}
