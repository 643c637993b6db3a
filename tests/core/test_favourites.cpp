#include "core/favourites.h"
#include "support/smalldisk.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QList<Favourite> favs(std::initializer_list<std::pair<QString, QString>> rows)
{
    QList<Favourite> out;
    for (const auto &[name, url] : rows)
        out.append(Favourite{name, url, {}, {}});
    return out;
}

// A favs.dat in a scratch folder and the table that loads and saves it.
class FavouritesTest : public ::testing::Test
{
protected:
    FavouritesLoad load() { return table.load(dir.file("favs.dat")); }
    FavouritesLoad load(const QByteArray &bytes) { dir.write("favs.dat", bytes); return load(); }
    bool save() { return table.save(dir.file("favs.dat")).ok; }

    TempFolder dir;
    Favourites table;
};

} // namespace

// Each file loads into these rows and saves back byte for byte, or as `written` where its line ends were not CR LF.
TEST_F(FavouritesTest, FileRoundTrips)
{
    const struct { const char *name; QByteArray bytes; QList<Favourite> rows; QByteArray written; } rows[] = {
        // written empty: the bytes themselves
        {"empty table", "", {}, {}},
        {"blanks belong to the values", "  Arena pack \r\n\thttp://a/1 \r\n", favs({{"  Arena pack ", "\thttp://a/1 "}}), {}},
        {"empty names and urls", "\r\nhttp://x/\r\nNo address\r\n\r\n\r\n\r\n", favs({{"", "http://x/"}, {"No address", ""}, {"", ""}}), {}},
        {"UTF-8 or Windows-1252, the same text", "Caf\xe9 \x80\r\nu\r\nCaf\xc3\xa9 \xe2\x82\xac\r\nu\r\n",
         favs({{u"Caf\u00e9 \u20ac"_s, "u"}, {u"Caf\u00e9 \u20ac"_s, "u"}}), {}},
        {"byte order mark at a line start", "\xef\xbb\xbfName\r\nu\r\n", favs({{u"\ufeffName"_s, "u"}}), {}},
        {"lone LF, no line end at the end", "A\nhttp://a\nB\nhttp://b", favs({{"A", "http://a"}, {"B", "http://b"}}),
         "A\r\nhttp://a\r\nB\r\nhttp://b\r\n"},
        {"lone CR", "A\rhttp://a\r", favs({{"A", "http://a"}}), "A\r\nhttp://a\r\n"},
        {"odd last line", "A\r\nhttp://a\r\nB\r\n", favs({{"A", "http://a"}, {"B", ""}}), "A\r\nhttp://a\r\nB\r\n\r\n"},
    };
    for (const auto &row : rows) {
        EXPECT_TRUE(load(row.bytes).status == FavouritesLoad::Status::Ok && save()) << row.name;
        EXPECT_EQ(table.rows(), row.rows) << row.name;
        EXPECT_EQ(dir.read("favs.dat"), row.written.isEmpty() ? row.bytes : row.written) << row.name;
    }
}

TEST_F(FavouritesTest, EveryByteButLineEndsRoundTripsAndEditedTextIsWrittenAsUtf8)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all += char(b);
    }
    // The high half alone, the undefined Windows-1252 bytes and a cut UTF-8 sequence.
    const QByteArray bytes = all + "\r\n" + all.mid(126) + "\r\n\x81\x8d\x8f\x90\x9d\r\nab\xc3\r\n";
    load(bytes);
    ASSERT_TRUE(save());
    EXPECT_EQ(dir.read("favs.dat"), bytes);

    // A moved favourite keeps its bytes; an edited value is written as UTF-8
    // and reads back as it was, though it also reads as Windows-1252.
    QList<Favourite> rows = table.rows();
    rows.swapItemsAt(0, 1);
    rows[0].url = u"ab\u00c3!"_s;
    rows.append(favs({{u"\u00c3\u00a9 \u65e5\u672c"_s, u"\u20ac"_s}}));
    table.replaceAll(rows);
    ASSERT_TRUE(save());
    EXPECT_TRUE(dir.read("favs.dat").startsWith("\x81\x8d\x8f\x90\x9d\r\nab\xc3\x83!\r\n" + all + "\r\n" + all.mid(126) + "\r\n"));
    load();
    EXPECT_EQ(table.rows(), rows);
}

// Whatever the table could not take in is kept as favs.dat.bak (or .bak.2, ...) before favs.dat is replaced.
TEST_F(FavouritesTest, WhatTheTableCannotHoldIsKeptInABackup)
{
    EXPECT_EQ(load().status, FavouritesLoad::Status::Missing);
    ASSERT_TRUE(save());
    EXPECT_FALSE(dir.exists("favs.dat.bak")) << "a missing file needs no backup";

    EXPECT_TRUE(load(favouritesFile(51)).notice.isEmpty()) << "51 pairs fit";
    const QString notice = load(favouritesFile(60)).notice;
    EXPECT_TRUE(notice.contains("60 favourites") && notice.contains(QDir::toNativeSeparators(dir.file("favs.dat.bak"))))
        << notice.toStdString();
    ASSERT_TRUE(save());
    EXPECT_EQ(dir.read("favs.dat.bak"), favouritesFile(60));
    EXPECT_EQ(dir.read("favs.dat"), favouritesFile(51));
    ASSERT_TRUE(save());
    EXPECT_FALSE(dir.exists("favs.dat.bak.2")) << "kept once, at the first save";

    load(favouritesFile(52));
    ASSERT_TRUE(save());
    EXPECT_EQ(dir.read("favs.dat.bak"), favouritesFile(60)) << "an older backup is never overwritten";
    EXPECT_EQ(dir.read("favs.dat.bak.2"), favouritesFile(52));

    // An oversized file is not read, and kept before it is replaced.
    ASSERT_TRUE(QFile(dir.file("favs.dat")).resize(Favourites::kMaxFileBytes + 1));
    EXPECT_EQ(load().status, FavouritesLoad::Status::TooLarge);
    EXPECT_EQ(table.count(), 0);
    ASSERT_TRUE(save());
    EXPECT_EQ(QFileInfo(dir.file("favs.dat.bak.3")).size(), Favourites::kMaxFileBytes + 1);
}

TEST_F(FavouritesTest, FailedWritesAreReportedAndChangeNothing)
{
    table.replaceAll(favs({{"Arena pack", "http://a/1"}, {"Big maps", "http://a/2"}}));
    // The disk fills after the last save; the next save fails and the file on
    // disk stays as it was, with nothing left beside it.
    SmallDisk disk(64 * 1024);
    if (disk.mounted()) {
        const QString path = disk.file("favs.dat");
        ASSERT_TRUE(table.save(path).ok);
        disk.fill();
        table.add("Third", "http://a/3");
        const FavouritesSave full = table.save(path);
        EXPECT_FALSE(full.ok);
        EXPECT_TRUE(full.error.contains(u"no space left on the device"_s)) << full.error.toStdString();
        EXPECT_EQ(disk.folder().read("favs.dat"), "Arena pack\r\nhttp://a/1\r\nBig maps\r\nhttp://a/2\r\n");
        EXPECT_EQ(QDir(disk.folder().path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"favs.dat", "filler"}));
    }

    // A pipe in the file's place is refused, never opened: opening it would block.
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.file("favs.dat")).constData(), 0600), 0);
    EXPECT_EQ(load().status, FavouritesLoad::Status::Unreadable);
    const FavouritesSave pipe = table.save(dir.file("favs.dat"));
    EXPECT_FALSE(pipe.ok);
    EXPECT_TRUE(pipe.error.contains(u"not a file"_s)) << pipe.error.toStdString();
    QFile::remove(dir.file("favs.dat"));

    // A favs.dat that cannot be read (a folder) is not replaced by what could not be kept.
    ASSERT_TRUE(QDir(dir.path()).mkdir("favs.dat"));
    const FavouritesLoad loaded = load();
    EXPECT_TRUE(loaded.status == FavouritesLoad::Status::Unreadable && !loaded.notice.isEmpty());
    table.add("New", "http://n");
    const FavouritesSave saved = table.save(dir.file("favs.dat"));
    EXPECT_FALSE(saved.ok);
    EXPECT_TRUE(saved.error.contains(QDir::toNativeSeparators(dir.file("favs.dat")))) << saved.error.toStdString();
    EXPECT_TRUE(QFileInfo(dir.file("favs.dat")).isDir());
    EXPECT_EQ(table.rows(), favs({{"New", "http://n"}})) << "a failed save keeps the table";
}

TEST_F(FavouritesTest, AddAndReplaceKeepTheTableWithinItsSizeAndOneLinePerValue)
{
    QSignalSpy added(&table, &Favourites::added), replaced(&table, &Favourites::replaced);
    for (int i = 0; i < Favourites::kCapacity; ++i)
        ASSERT_TRUE(table.add("Same", "http://same")) << "duplicates are kept";
    EXPECT_FALSE(table.add("One too many", "http://x"));
    EXPECT_EQ(std::pair(table.count(), added.size()), std::pair(51, qsizetype(51)));
    EXPECT_EQ(added.last().first().toInt(), 50);

    table.replaceAll(QList<Favourite>(60, Favourite{"Same", "u", {}, {}}));
    EXPECT_EQ(table.count(), 51);
    table.replaceAll(favs({{"Two\r\nlines", "http://a/\n1"}, {"x\ry", "u"}}));
    EXPECT_EQ(replaced.size(), 2);
    ASSERT_TRUE(save());
    EXPECT_EQ(dir.read("favs.dat"), "Two lines\r\nhttp://a/ 1\r\nx y\r\nu\r\n");
}
