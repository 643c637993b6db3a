#include "core/listcheck.h"

#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QTextStream>

namespace {

struct CheckRow
{
    const char *label;
    QByteArray file;
    QString out;
    QString err;  // "F" stands for the file's path
    int status;
};

void PrintTo(const CheckRow &row, std::ostream *os)
{
    *os << row.label;
}

class ListCheck : public ::testing::TestWithParam<CheckRow>
{
};

TEST_P(ListCheck, PrintsTheNodesAndTheLinesThatMadeNone)
{
    const CheckRow &row = GetParam();
    TempFolder folder;
    folder.write(QStringLiteral("list.dat"), row.file);
    const QString path = folder.file(QStringLiteral("list.dat"));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);

    const int status = checkModList(path, outStream, errStream);
    outStream.flush();
    errStream.flush();

    EXPECT_EQ(status, row.status);
    EXPECT_EQ(out, row.out);
    EXPECT_EQ(err, QString(row.err).replace(QStringLiteral("F:"), path + QLatin1Char(':')));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ListCheck,
    ::testing::Values(
        CheckRow{"every kind of line",
                 crlfLines({"[ValidHeader]", "Maps", "Weapons", "Maps", "a3", "---", "Maps?Big Arena?http://m/1",
                            "Nowhere?Lost?http://l/1", "no separators", "Weapons?Rail?http://w/1?x=1",
                            "Maps?Caf\xc3\xa9?http://m/2"}),
                 QStringLiteral("Maps\tMaps\t-\t\nWeapons\tWeapons\t-\t\na3\ta3\t-\t\n"
                                "a1\tBig Arena\tMaps\thttp://m/1\na4\tRail\tWeapons\thttp://w/1?x=1\n"
                                "a5\tCaf\u00e9\tMaps\thttp://m/2\n"),
                 QStringLiteral("F:4: the folder \"Maps\" is there already\nF:8: no folder named \"Nowhere\"\n"
                                "F:9: no folder, name and address: a link reads folder?name?address\n"),
                 0},
        CheckRow{"a link whose key is a folder's name", crlfLines({"[ValidHeader]", "a1", "---", "a1?Self?http://s/1"}),
                 QStringLiteral("a1\ta1\t-\t\n"), QStringLiteral("F:4: its key a1 is a folder's name\n"), 0},
        CheckRow{"no header", crlfLines({"[validheader]", "Maps"}), QString(),
                 QStringLiteral("F:1: the first line is not [ValidHeader]\n"), 1}));

} // namespace
