#include "core/catalogue.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

const ModListEntry kDefault = defaultCatalogueRow(QStringLiteral("http://lists.test"));

CatalogueLoad loadBytes(const QByteArray &bytes)
{
    TempFolder dir;
    dir.write(QStringLiteral("mods.dat"), bytes);
    return loadCatalogue(dir.file(QStringLiteral("mods.dat")), kDefault);
}

QByteArray record(int i)
{
    const QByteArray n = QByteArray::number(i);
    return "List" + n + "\r\nlist" + n + ".dat\r\nhttp://x/" + n + ".zip\r\nset" + n + "\r\nstart" + n + ".htm\r\n";
}

} // namespace

TEST(Catalogue, DefaultRowPointsAtTheListServer)
{
    EXPECT_EQ(kDefault.listName, QStringLiteral("Quake2"));
    EXPECT_EQ(kDefault.listFile, QStringLiteral("q2modlist.dat"));
    EXPECT_EQ(kDefault.archiveUrl, QStringLiteral("http://lists.test/kestrelmoor/modlist/q2modlist.zip"));
    EXPECT_EQ(kDefault.settingsName, QStringLiteral("q2modlist"));
    EXPECT_EQ(kDefault.startPage, QStringLiteral("welcome.htm"));
}

TEST(Catalogue, ReadsRecordsInFileOrder)
{
    const CatalogueLoad load = loadBytes("[ValidHeader]\r\n" + record(1) + record(2) + record(3));
    EXPECT_FALSE(load.usedDefault);
    ASSERT_EQ(load.rows.size(), 3);
    EXPECT_EQ(load.rows[0].listName, QStringLiteral("List1"));
    EXPECT_EQ(load.rows[2].listFile, QStringLiteral("list3.dat"));
    EXPECT_EQ(load.rows[1].archiveUrl, QStringLiteral("http://x/2.zip"));
    EXPECT_EQ(load.rows[2].settingsName, QStringLiteral("set3"));
    EXPECT_EQ(load.rows[0].startPage, QStringLiteral("start1.htm"));
}

TEST(Catalogue, FallsBackToTheBuiltInRow)
{
    struct Row
    {
        const char *name;
        QByteArray bytes;
    } rows[] = {
        {"empty file", ""},
        {"header differs in case", "[validheader]\r\n" + record(1)},
        {"header with trailing blank", "[ValidHeader] \r\n" + record(1)},
        {"header alone", "[ValidHeader]\r\n"},
        {"binary garbage", QByteArray(4096, '\xff')},
        {"only a cut-off record", "[ValidHeader]\r\nA\r\nb.dat\r\n"},
    };
    for (const Row &row : rows) {
        const CatalogueLoad load = loadBytes(row.bytes);
        EXPECT_TRUE(load.usedDefault) << row.name;
        ASSERT_EQ(load.rows.size(), 1) << row.name;
        EXPECT_EQ(load.rows[0], kDefault) << row.name;
    }

    TempFolder dir;
    const CatalogueLoad missing = loadCatalogue(dir.file(QStringLiteral("mods.dat")), kDefault);
    EXPECT_TRUE(missing.usedDefault);
    EXPECT_EQ(missing.rows, QList<ModListEntry>{kDefault});
}

TEST(Catalogue, IgnoresCutOffRecordsAndRowsPastEleven)
{
    // A blank line at the end and a cut-off third record.
    CatalogueLoad load = loadBytes("[ValidHeader]\r\n" + record(1) + record(2) + "Half\r\nhalf.dat\r\n");
    EXPECT_FALSE(load.usedDefault);
    EXPECT_EQ(load.rows.size(), 2);

    load = loadBytes("[ValidHeader]\r\n" + record(1) + "\r\n");
    EXPECT_EQ(load.rows.size(), 1);

    QByteArray many = "[ValidHeader]\r\n";
    for (int i = 1; i <= 14; ++i)
        many += record(i);
    load = loadBytes(many);
    ASSERT_EQ(load.rows.size(), kMaxCatalogueRows);
    EXPECT_EQ(load.rows.last().listName, QStringLiteral("List11"));
}

TEST(Catalogue, AcceptsLfLinesAndEightBitBytes)
{
    const CatalogueLoad load = loadBytes("[ValidHeader]\nQuake \xe4\nq2.dat\nhttp://x/q.zip\nq2\nwelcome.htm\n");
    ASSERT_EQ(load.rows.size(), 1);
    EXPECT_EQ(load.rows[0].listName, QString::fromUtf8("Quake \xc3\xa4"));
    EXPECT_EQ(load.rows[0].startPage, QStringLiteral("welcome.htm"));
}
