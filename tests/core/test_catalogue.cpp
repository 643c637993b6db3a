#include "core/catalogue.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

QByteArray record(int i)
{
    const QByteArray n = QByteArray::number(i);
    return "Game" + n + "\r\nlist" + n + ".dat\r\nhttp://x/" + n + ".zip\r\nset" + n + "\r\nstart" + n + ".htm\r\n";
}

} // namespace

TEST(Catalogue, ReadsWholeRecordsUpToElevenOrFallsBackToTheBuiltInRow)
{
    const ModListEntry builtIn = defaultCatalogueRow(QStringLiteral("http://lists.test"));
    QByteArray fourteen = "[ValidHeader]\r\n";
    for (int i = 1; i <= 14; ++i)
        fourteen += record(i);
    const struct
    {
        const char *name;
        QByteArray bytes; // "-": no file
        int rows;         // 0: the built-in row alone
        const char *lastName;
    } rows[] = {
        {"two records", "[ValidHeader]\r\n" + record(1) + record(2), 2, "Game2"},
        {"a cut-off third record", "[ValidHeader]\r\n" + record(1) + record(2) + "Half\r\nhalf.dat\r\n", 2, "Game2"},
        {"a blank line at the end", "[ValidHeader]\r\n" + record(1) + "\r\n", 1, "Game1"},
        {"rows past the eleventh", fourteen, kMaxCatalogueRows, "Game11"},
        {"LF lines, Windows-1252", "[ValidHeader]\nQuake \xe4\nq2.dat\nhttp://x/q.zip\nq2\nwelcome.htm\n", 1, "Quake \u00e4"},
        {"no file", "-", 0, ""},
        {"empty file", "", 0, ""},
        {"header in another case", "[validheader]\r\n" + record(1), 0, ""},
        {"header with a trailing blank", "[ValidHeader] \r\n" + record(1), 0, ""},
        {"header alone", "[ValidHeader]\r\n", 0, ""},
        {"only a cut-off record", "[ValidHeader]\r\nA\r\nb.dat\r\n", 0, ""},
        {"binary garbage", QByteArray(4096, '\xff'), 0, ""},
    };
    for (const auto &row : rows) {
        TempFolder dir;
        if (row.bytes != "-")
            dir.write(QStringLiteral("mods.dat"), row.bytes);
        const CatalogueLoad load = loadCatalogue(dir.file(QStringLiteral("mods.dat")), builtIn);
        EXPECT_EQ(load.usedDefault, row.rows == 0) << row.name;
        if (row.rows == 0) {
            EXPECT_EQ(load.rows, QList<ModListEntry>{builtIn}) << row.name;
            continue;
        }
        ASSERT_EQ(load.rows.size(), row.rows) << row.name;
        EXPECT_EQ(load.rows.last().listName, QString::fromUtf8(row.lastName)) << row.name;
    }
    const CatalogueLoad two = parseCatalogue("[ValidHeader]\r\n" + record(1) + record(2), builtIn);
    EXPECT_EQ(two.rows.value(1), (ModListEntry{"Game2", "list2.dat", "http://x/2.zip", "set2", "start2.htm"}));
}
