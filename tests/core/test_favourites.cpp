#include "core/favourites.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

const QString kFile = QStringLiteral("favs.dat");
const QString kBackup = QStringLiteral("favs.dat.bak");

Favourite fav(const QString &name, const QString &url) { return Favourite{name, url, {}, {}}; }

QList<Favourite> favs(std::initializer_list<std::pair<const char *, const char *>> rows)
{
    QList<Favourite> out;
    for (const auto &[name, url] : rows)
        out.append(fav(QString::fromUtf8(name), QString::fromUtf8(url)));
    return out;
}

QByteArray pairs(int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += "Mod " + QByteArray::number(i) + "\r\nhttp://m/" + QByteArray::number(i) + "\r\n";
    return out;
}

// Accepts a given number of bytes, then fails like a full disk.
class FailingDevice final : public QIODevice
{
public:
    explicit FailingDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 len) override
    {
        if (m_room <= 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        const qint64 taken = std::min(len, m_room);
        m_room -= taken;
        return taken;
    }

private:
    qint64 m_room;
};

} // namespace

// Each file loads into these rows and saves back byte for byte, or as `written`
// where its line ends were not CR LF.
TEST(Favourites, FileRoundTrips)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        QList<Favourite> rows;
        QByteArray written; // empty: the bytes themselves
    } rows[] = {
        {"empty table", "", {}, {}},
        {"blanks belong to the values", "  Arena pack \r\n\thttp://a/1 \r\n", favs({{"  Arena pack ", "\thttp://a/1 "}}), {}},
        {"empty names and urls", "\r\nhttp://x/\r\nNo address\r\n\r\n\r\n\r\n",
         favs({{"", "http://x/"}, {"No address", ""}, {"", ""}}), {}},
        {"UTF-8", "Caf\xc3\xa9 \xe2\x82\xac\r\nhttp://x/\xc3\xa9\r\n", favs({{"Caf\xc3\xa9 \xe2\x82\xac", "http://x/\xc3\xa9"}}), {}},
        {"Windows-1252", "Caf\xe9 \x80\r\nhttp://x/\x9f\r\n", {fav(u"Caf\u00e9 \u20ac"_s, u"http://x/\u0178"_s)}, {}},
        {"the same text in both character sets", "Caf\xe9\r\nu\r\nCaf\xc3\xa9\r\nu\r\n",
         favs({{"Caf\xc3\xa9", "u"}, {"Caf\xc3\xa9", "u"}}), {}},
        {"byte order mark at a line start", "\xef\xbb\xbfName\r\nu\r\n", {fav(u"\ufeffName"_s, u"u"_s)}, {}},
        {"lone LF", "A\nhttp://a\nB\nhttp://b\n", favs({{"A", "http://a"}, {"B", "http://b"}}), "A\r\nhttp://a\r\nB\r\nhttp://b\r\n"},
        {"no line end at the end", "A\r\nhttp://a", favs({{"A", "http://a"}}), "A\r\nhttp://a\r\n"},
        {"odd last line", "A\r\nhttp://a\r\nB\r\n", favs({{"A", "http://a"}, {"B", ""}}), "A\r\nhttp://a\r\nB\r\n\r\n"},
        {"a single name", "B", favs({{"B", ""}}), "B\r\n\r\n"},
    };
    for (const auto &row : rows) {
        TempFolder dir;
        dir.write(kFile, row.bytes);
        Favourites table;
        const FavouritesLoad load = table.load(dir.file(kFile));
        EXPECT_TRUE(load.status == FavouritesLoad::Status::Ok && load.notice.isEmpty()) << row.name;
        EXPECT_EQ(table.rows(), row.rows) << row.name;
        EXPECT_TRUE(table.save(dir.file(kFile)).ok) << row.name;
        EXPECT_EQ(dir.read(kFile), row.written.isEmpty() ? row.bytes : row.written) << row.name;
    }
}

TEST(Favourites, EveryByteButLineEndsRoundTripsAndEditedTextIsWrittenAsUtf8)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all += char(b);
    }
    // The high half alone, the undefined Windows-1252 bytes and a cut UTF-8 sequence.
    const QByteArray bytes = all + "\r\n" + all.mid(126) + "\r\n\x81\x8d\x8f\x90\x9d\r\nab\xc3\r\n";
    TempFolder dir;
    dir.write(kFile, bytes);
    Favourites table;
    table.load(dir.file(kFile));
    ASSERT_EQ(table.count(), 2);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kFile), bytes);

    // A moved favourite keeps its bytes; an edited value is written as UTF-8
    // and reads back as it was, though it also reads as Windows-1252.
    QList<Favourite> rows = table.rows();
    rows.swapItemsAt(0, 1);
    rows[0].url = u"ab\u00c3!"_s;
    rows.append(fav(u"\u00c3\u00a9 \u65e5\u672c"_s, u"\u20ac"_s));
    table.replaceAll(rows);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_TRUE(dir.read(kFile).startsWith("\x81\x8d\x8f\x90\x9d\r\nab\xc3\x83!\r\n" + all + "\r\n" + all.mid(126) + "\r\n"));
    Favourites again;
    again.load(dir.file(kFile));
    EXPECT_EQ(again.rows(), table.rows());
}

// Whatever the table could not take in is kept as favs.dat.bak (or .bak.2, and
// so on) before favs.dat is replaced, and never overwritten.
TEST(Favourites, WhatTheTableCannotHoldIsKeptInABackup)
{
    TempFolder dir;
    Favourites table;
    EXPECT_EQ(table.load(dir.file(kFile)).status, FavouritesLoad::Status::Missing);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kFile), QByteArray());
    EXPECT_FALSE(dir.exists(kBackup)) << "a missing file needs no backup";

    dir.write(kFile, pairs(51));
    EXPECT_TRUE(table.load(dir.file(kFile)).notice.isEmpty()) << "51 pairs fit";
    dir.write(kFile, pairs(60));
    const FavouritesLoad load = table.load(dir.file(kFile));
    EXPECT_EQ(load.droppedPairs, 9);
    EXPECT_TRUE(load.notice.contains(QStringLiteral("60 favourites")) && load.notice.contains(QDir::toNativeSeparators(dir.file(kBackup))));
    ASSERT_EQ(table.count(), Favourites::kCapacity);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kBackup), pairs(60));
    EXPECT_EQ(dir.read(kFile), pairs(51));
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_FALSE(dir.exists(kBackup + QStringLiteral(".2"))) << "kept once, at the first save";

    dir.write(kFile, pairs(52));
    table.load(dir.file(kFile));
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kBackup), pairs(60)) << "an older backup is never overwritten";
    EXPECT_EQ(dir.read(kBackup + QStringLiteral(".2")), pairs(52));

    // An oversized file is not read, and kept before it is replaced.
    QFile big(dir.file(kFile));
    ASSERT_TRUE(big.resize(Favourites::kMaxFileBytes + 1));
    EXPECT_EQ(table.load(dir.file(kFile)).status, FavouritesLoad::Status::TooLarge);
    EXPECT_EQ(table.count(), 0);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(QFileInfo(dir.file(kBackup + QStringLiteral(".3"))).size(), Favourites::kMaxFileBytes + 1);
}

TEST(Favourites, FailedWritesAreReportedAndChangeNothing)
{
    Favourites table;
    table.replaceAll(favs({{"Arena pack", "http://a/1"}, {"Big maps", "http://a/2"}}));
    for (const qint64 room : {qint64(0), qint64(10)}) {
        FailingDevice device(room);
        QString error;
        EXPECT_FALSE(table.writeTo(device, &error)) << room;
        EXPECT_EQ(error, QStringLiteral("No space left on device")) << room;
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(table.writeTo(buffer, nullptr));
    EXPECT_EQ(buffer.data(), "Arena pack\r\nhttp://a/1\r\nBig maps\r\nhttp://a/2\r\n");

    TempFolder dir;
    EXPECT_FALSE(table.save(dir.file(QStringLiteral("no such folder/favs.dat"))).ok);
    // A favs.dat that cannot be read (a folder) is not replaced by what could not be kept.
    ASSERT_TRUE(QDir(dir.path()).mkdir(kFile));
    Favourites unread;
    const FavouritesLoad load = unread.load(dir.file(kFile));
    EXPECT_TRUE(load.status == FavouritesLoad::Status::Unreadable && !load.notice.isEmpty());
    unread.add(QStringLiteral("New"), QStringLiteral("http://n"));
    const FavouritesSave save = unread.save(dir.file(kFile));
    EXPECT_FALSE(save.ok);
    EXPECT_TRUE(save.error.contains(QDir::toNativeSeparators(dir.file(kFile)))) << save.error.toStdString();
    EXPECT_TRUE(QFileInfo(dir.file(kFile)).isDir());
    EXPECT_EQ(unread.count(), 1) << "a failed save keeps the table";
}

TEST(Favourites, AddAndReplaceKeepTheTableWithinItsSizeAndOneLinePerValue)
{
    Favourites table;
    QSignalSpy added(&table, &Favourites::added);
    QSignalSpy replaced(&table, &Favourites::replaced);
    for (int i = 0; i < Favourites::kCapacity; ++i)
        ASSERT_TRUE(table.add(QStringLiteral("Same"), QStringLiteral("http://same"))) << "duplicates are kept";
    EXPECT_FALSE(table.add(QStringLiteral("One too many"), QStringLiteral("http://x")));
    EXPECT_EQ(table.count(), 51);
    ASSERT_EQ(added.size(), 51);
    EXPECT_EQ(added.last().first().toInt(), 50);

    QList<Favourite> many;
    for (int i = 0; i < 60; ++i)
        many.append(fav(QString::number(i), QString()));
    table.replaceAll(many);
    EXPECT_EQ(table.count(), 51);
    table.replaceAll({fav(QStringLiteral("Two\r\nlines"), QStringLiteral("http://a/\n1")), fav(QStringLiteral("x\ry"), QStringLiteral("u"))});
    EXPECT_EQ(replaced.size(), 2);
    EXPECT_EQ(table.rows(), favs({{"Two lines", "http://a/ 1"}, {"x y", "u"}}));
    TempFolder dir;
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kFile), "Two lines\r\nhttp://a/ 1\r\nx y\r\nu\r\n");
}
