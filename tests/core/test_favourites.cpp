#include "core/favourites.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QSignalSpy>

namespace {

const QString kFile = QStringLiteral("favs.dat");

Favourite fav(const QString &name, const QString &url)
{
    return Favourite{name, url, {}, {}};
}

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

TEST(Favourites, FileRoundTrips)
{
    // Each file is one the program itself writes: it loads into these rows and
    // saves back byte for byte.
    struct Row
    {
        const char *name;
        QByteArray bytes;
        QList<Favourite> rows;
    } rows[] = {
        {"empty table", "", {}},
        {"an untouched new entry", "New shortcut\r\nhttp://\r\n", favs({{"New shortcut", "http://"}})},
        {"blanks belong to the values", "  Arena pack \r\n\thttp://a/1 \r\n",
         favs({{"  Arena pack ", "\thttp://a/1 "}})},
        {"empty name and empty url", "\r\nhttp://x/\r\nNo address\r\n\r\n\r\n\r\n",
         favs({{"", "http://x/"}, {"No address", ""}, {"", ""}})},
        {"UTF-8 text", "Caf\xc3\xa9 \xe2\x82\xac\r\nhttp://x/\xc3\xa9\r\n",
         favs({{"Caf\xc3\xa9 \xe2\x82\xac", "http://x/\xc3\xa9"}})},
        {"Windows-1252 text", "Caf\xe9 \x80\r\nhttp://x/\x9f\r\n",
         {fav(QStringLiteral("Caf\u00e9 \u20ac"), QStringLiteral("http://x/\u0178"))}},
        {"the same text in both character sets", "Caf\xe9\r\nu\r\nCaf\xc3\xa9\r\nu\r\n",
         favs({{"Caf\xc3\xa9", "u"}, {"Caf\xc3\xa9", "u"}})},
        {"byte order mark at a line start", "\xef\xbb\xbfName\r\nu\r\n", {fav(QStringLiteral("\ufeffName"), QStringLiteral("u"))}},
    };
    for (const Row &row : rows) {
        TempFolder dir;
        dir.write(kFile, row.bytes);
        Favourites table;
        const FavouritesLoad load = table.load(dir.file(kFile));
        EXPECT_EQ(load.status, FavouritesLoad::Status::Ok) << row.name;
        EXPECT_TRUE(load.notice.isEmpty()) << row.name;
        EXPECT_EQ(table.rows(), row.rows) << row.name;
        EXPECT_TRUE(table.save(dir.file(kFile)).ok) << row.name;
        EXPECT_EQ(dir.read(kFile), row.bytes) << row.name;
    }
}

TEST(Favourites, EveryByteButLineEndsRoundTrips)
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
    EXPECT_EQ(table.row(1).name, QStringLiteral("\u0081\u008d\u008f\u0090\u009d"));
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kFile), bytes);

    // Moving a favourite keeps its bytes; an edited value is written as UTF-8.
    QList<Favourite> rows = table.rows();
    rows.swapItemsAt(0, 1);
    rows[0].url = QStringLiteral("ab\u00c3!");
    table.replaceAll(rows);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kFile), "\x81\x8d\x8f\x90\x9d\r\nab\xc3\x83!\r\n" + all + "\r\n" + all.mid(126) + "\r\n");
    Favourites again;
    again.load(dir.file(kFile));
    EXPECT_EQ(again.rows(), table.rows());
}

TEST(Favourites, TextTheProgramWroteReadsBackAsItWas)
{
    // Text that would also make sense read one byte per character.
    const QList<Favourite> rows = {fav(QStringLiteral("\u00c3\u00a9 \u65e5\u672c"), QStringLiteral("http://x/\u00e9")),
                                   fav(QStringLiteral("\u20ac"), QString())};
    TempFolder dir;
    Favourites table;
    table.replaceAll(rows);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    Favourites again;
    again.load(dir.file(kFile));
    EXPECT_EQ(again.rows(), rows);
}

TEST(Favourites, ReadsOtherLineEndsAndWritesCrLf)
{
    struct Row
    {
        const char *name;
        QByteArray bytes;
        QList<Favourite> rows;
        QByteArray written;
    } rows[] = {
        {"lone LF", "A\nhttp://a\nB\nhttp://b\n", favs({{"A", "http://a"}, {"B", "http://b"}}),
         "A\r\nhttp://a\r\nB\r\nhttp://b\r\n"},
        {"no line end at the end", "A\r\nhttp://a", favs({{"A", "http://a"}}), "A\r\nhttp://a\r\n"},
        {"odd last line", "A\r\nhttp://a\r\nB\r\n", favs({{"A", "http://a"}, {"B", ""}}),
         "A\r\nhttp://a\r\nB\r\n\r\n"},
        {"a single name", "B", favs({{"B", ""}}), "B\r\n\r\n"},
        {"a blank line after the pairs", "A\r\nhttp://a\r\n\r\n", favs({{"A", "http://a"}, {"", ""}}),
         "A\r\nhttp://a\r\n\r\n\r\n"},
    };
    for (const Row &row : rows) {
        TempFolder dir;
        dir.write(kFile, row.bytes);
        Favourites table;
        EXPECT_TRUE(table.load(dir.file(kFile)).notice.isEmpty()) << row.name;
        EXPECT_EQ(table.rows(), row.rows) << row.name;
        ASSERT_TRUE(table.save(dir.file(kFile)).ok) << row.name;
        EXPECT_EQ(dir.read(kFile), row.written) << row.name;
    }
}

TEST(Favourites, MissingFileIsAnEmptyTableAndSavesAsAnEmptyFile)
{
    TempFolder dir;
    Favourites table;
    table.add(QStringLiteral("stale"), QStringLiteral("http://s"));
    const FavouritesLoad load = table.load(dir.file(kFile));
    EXPECT_EQ(load.status, FavouritesLoad::Status::Missing);
    EXPECT_TRUE(load.notice.isEmpty());
    EXPECT_EQ(table.count(), 0);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_TRUE(dir.exists(kFile));
    EXPECT_EQ(dir.read(kFile), QByteArray());
    EXPECT_FALSE(dir.exists(QStringLiteral("favs.dat.bak")));
}

TEST(Favourites, PairsPastTheTableAreKeptInABackup)
{
    TempFolder dir;
    const QByteArray original = pairs(60);
    dir.write(kFile, original);
    Favourites table;
    const FavouritesLoad load = table.load(dir.file(kFile));
    EXPECT_EQ(load.status, FavouritesLoad::Status::Ok);
    EXPECT_EQ(load.droppedPairs, 9);
    EXPECT_TRUE(load.notice.contains(QStringLiteral("60 favourites"))) << load.notice.toStdString();
    EXPECT_TRUE(load.notice.contains(QDir::toNativeSeparators(dir.file(QStringLiteral("favs.dat.bak")))));
    ASSERT_EQ(table.count(), Favourites::kCapacity);
    EXPECT_EQ(table.row(50).name, QStringLiteral("Mod 50"));

    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(QStringLiteral("favs.dat.bak")), original);
    EXPECT_EQ(dir.read(kFile), pairs(51));

    // Saving again replaces only favs.dat; the backup stays the original.
    table.replaceAll(favs({{"One", "http://1"}}));
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(QStringLiteral("favs.dat.bak")), original);
    EXPECT_FALSE(dir.exists(QStringLiteral("favs.dat.bak.2")));

    // An older backup is never overwritten.
    dir.write(kFile, pairs(52));
    EXPECT_EQ(table.load(dir.file(kFile)).droppedPairs, 1);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(QStringLiteral("favs.dat.bak")), original);
    EXPECT_EQ(dir.read(QStringLiteral("favs.dat.bak.2")), pairs(52));

    // A file of exactly 51 pairs loads whole.
    dir.write(kFile, pairs(51));
    const FavouritesLoad full = table.load(dir.file(kFile));
    EXPECT_EQ(full.droppedPairs, 0);
    EXPECT_TRUE(full.notice.isEmpty());
    EXPECT_EQ(table.count(), 51);
}

TEST(Favourites, UnusableFileIsNeverReplacedWithoutABackup)
{
    // An oversized file: not read, kept before it is replaced.
    {
        TempFolder dir;
        dir.write(kFile, "Big\r\nhttp://big\r\n");
        QFile big(dir.file(kFile));
        ASSERT_TRUE(big.resize(Favourites::kMaxFileBytes + 1));
        Favourites table;
        const FavouritesLoad load = table.load(dir.file(kFile));
        EXPECT_EQ(load.status, FavouritesLoad::Status::TooLarge);
        EXPECT_FALSE(load.notice.isEmpty());
        EXPECT_EQ(table.count(), 0);
        table.add(QStringLiteral("New"), QStringLiteral("http://n"));
        ASSERT_TRUE(table.save(dir.file(kFile)).ok);
        EXPECT_EQ(QFileInfo(dir.file(QStringLiteral("favs.dat.bak"))).size(), Favourites::kMaxFileBytes + 1);
        EXPECT_EQ(dir.read(kFile), "New\r\nhttp://n\r\n");
    }
    // A favs.dat that cannot be read (here a folder): the save refuses rather
    // than replace what it could not keep, and says why.
    {
        TempFolder dir;
        ASSERT_TRUE(QDir(dir.path()).mkdir(kFile));
        Favourites table;
        const FavouritesLoad load = table.load(dir.file(kFile));
        EXPECT_EQ(load.status, FavouritesLoad::Status::Unreadable);
        EXPECT_FALSE(load.notice.isEmpty());
        table.add(QStringLiteral("New"), QStringLiteral("http://n"));
        const FavouritesSave save = table.save(dir.file(kFile));
        EXPECT_FALSE(save.ok);
        EXPECT_TRUE(save.error.contains(QDir::toNativeSeparators(dir.file(kFile)))) << save.error.toStdString();
        EXPECT_TRUE(QFileInfo(dir.file(kFile)).isDir());
        EXPECT_EQ(table.count(), 1) << "a failed save keeps the table";
    }
}

TEST(Favourites, FailedWritesAreReported)
{
    Favourites table;
    table.replaceAll(favs({{"Arena pack", "http://a/1"}, {"Big maps", "http://a/2"}}));
    for (const qint64 room : {qint64(0), qint64(10)}) {
        FailingDevice device(room);
        QString error;
        EXPECT_FALSE(table.writeTo(device, &error)) << room;
        EXPECT_EQ(error, QStringLiteral("No space left on device")) << room;
    }

    TempFolder dir;
    const FavouritesSave save = table.save(dir.file(QStringLiteral("no such folder/favs.dat")));
    EXPECT_FALSE(save.ok);
    EXPECT_FALSE(save.error.isEmpty());

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(table.writeTo(buffer, nullptr));
    EXPECT_EQ(buffer.data(), "Arena pack\r\nhttp://a/1\r\nBig maps\r\nhttp://a/2\r\n");
}

TEST(Favourites, AddAppendsUntilTheTableIsFull)
{
    Favourites table;
    QSignalSpy added(&table, &Favourites::added);
    for (int i = 0; i < Favourites::kCapacity; ++i)
        ASSERT_TRUE(table.add(QStringLiteral("Same"), QStringLiteral("http://same")));
    EXPECT_EQ(table.count(), 51) << "duplicates are kept";
    ASSERT_EQ(added.size(), 51);
    EXPECT_EQ(added.at(50).at(0).toInt(), 50);
    EXPECT_TRUE(table.isFull());

    EXPECT_FALSE(table.add(QStringLiteral("One too many"), QStringLiteral("http://x")));
    EXPECT_EQ(table.count(), 51);
    EXPECT_EQ(added.size(), 51);
    EXPECT_EQ(table.row(50).name, QStringLiteral("Same"));
}

TEST(Favourites, ReplaceAllSetsTheWholeTable)
{
    Favourites table;
    QSignalSpy replaced(&table, &Favourites::replaced);
    table.replaceAll(favs({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}}));
    table.replaceAll(favs({{"e", "5"}, {"a", "1"}, {"c", "3"}}));
    EXPECT_EQ(replaced.size(), 2);
    EXPECT_EQ(table.names(), (QStringList{QStringLiteral("e"), QStringLiteral("a"), QStringLiteral("c")}));

    TempFolder dir;
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kFile), "e\r\n5\r\na\r\n1\r\nc\r\n3\r\n") << "six lines, not ten";

    QList<Favourite> many;
    for (int i = 0; i < 60; ++i)
        many.append(fav(QString::number(i), QString()));
    table.replaceAll(many);
    EXPECT_EQ(table.count(), 51);

    table.replaceAll({});
    EXPECT_EQ(table.count(), 0);
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    EXPECT_EQ(dir.read(kFile), QByteArray());
}

TEST(Favourites, LineBreaksInsideAValueCannotShiftTheFile)
{
    Favourites table;
    table.add(QStringLiteral("Two\r\nlines"), QStringLiteral("http://a/\n1"));
    table.replaceAll(QList<Favourite>{table.row(0), fav(QStringLiteral("x\ry"), QStringLiteral("u"))});
    EXPECT_EQ(table.row(0), fav(QStringLiteral("Two lines"), QStringLiteral("http://a/ 1")));
    EXPECT_EQ(table.row(1).name, QStringLiteral("x y"));

    TempFolder dir;
    ASSERT_TRUE(table.save(dir.file(kFile)).ok);
    Favourites again;
    again.load(dir.file(kFile));
    EXPECT_EQ(again.rows(), table.rows());
}
