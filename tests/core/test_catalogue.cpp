#include "core/catalogue.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

QByteArray records(int from, int to)
{
    QByteArray out = "[ValidHeader]\r\n";
    for (int i = from; i <= to; ++i) {
        const QByteArray n = QByteArray::number(i);
        out += "Game" + n + "\r\nlist" + n + ".dat\r\nhttp://x/" + n + ".zip\r\nset" + n + "\r\nstart" + n + ".htm\r\n";
    }
    return out;
}

} // namespace

TEST(Catalogue, ReadsWholeRecordsUpToElevenOrFallsBackToTheBuiltInRow)
{
    const ModListEntry builtIn = defaultCatalogueRow("http://lists.test");
    // rows 0: the built-in row alone; bytes "-": no file
    const struct { const char *name; QByteArray bytes; int rows; const char *lastName; } rows[] = {
        {"two records", records(1, 2), 2, "Game2"},
        {"a cut-off third record", records(1, 2) + "Half\r\nhalf.dat\r\n", 2, "Game2"},
        {"a blank line at the end", records(1, 1) + "\r\n", 1, "Game1"},
        {"rows past the eleventh", records(1, 14), kMaxCatalogueRows, "Game11"},
        {"LF lines, Windows-1252", "[ValidHeader]\nQuake \xe4\nq2.dat\nhttp://x/q.zip\nq2\nwelcome.htm\n", 1, "Quake \u00e4"},
        {"no file", "-", 0, ""},
        {"empty file", "", 0, ""},
        {"header in another case", "[validheader]\r\n" + records(1, 1).mid(15), 0, ""},
        {"header with a trailing blank", "[ValidHeader] \r\n" + records(1, 1).mid(15), 0, ""},
        {"header alone", records(1, 0), 0, ""},
        {"only a cut-off record", "[ValidHeader]\r\nA\r\nb.dat\r\n", 0, ""},
        {"binary garbage", QByteArray(4096, '\xff'), 0, ""},
    };
    for (const auto &row : rows) {
        TempFolder dir;
        if (row.bytes != "-")
            dir.write("mods.dat", row.bytes);
        const CatalogueLoad load = loadCatalogue(dir.file("mods.dat"), builtIn);
        EXPECT_EQ(load.usedDefault, row.rows == 0) << row.name;
        if (row.rows == 0)
            EXPECT_EQ(load.rows, QList<ModListEntry>{builtIn}) << row.name;
        else
            EXPECT_EQ(std::pair(load.rows.size(), load.rows.last().listName), std::pair(qsizetype(row.rows), QString(row.lastName)))
                << row.name;
    }
    EXPECT_EQ(parseCatalogue(records(1, 2), builtIn).rows.value(1),
              (ModListEntry{"Game2", "list2.dat", "http://x/2.zip", "set2", "start2.htm"}));
}
