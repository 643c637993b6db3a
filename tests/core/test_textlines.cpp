#include "core/textlines.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

// Bytes that differ from one 4 KB page to the next.
QByteArray pattern(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char((i * 7 + i / 4096) % 251);
    return out;
}

bool holds(const PageBuffer &buffer, const QByteArray &bytes) { return QByteArrayView(buffer.data(), bytes.size()) == bytes; }

} // namespace

TEST(DecodeText, Utf8OrElseWindows1252ByteForByte)
{
    EXPECT_EQ(decodeText("Fr\xc3\xa4g"), QString::fromUtf8("Fr\xc3\xa4g"));
    EXPECT_EQ(decodeText("Fr\xe4g \x80 \x93q\x94"), QString::fromUtf8("Fr\xc3\xa4g \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"));
    EXPECT_EQ(decodeText("\x81\x8d").size(), 2) << "bytes Windows-1252 leaves undefined";
    EXPECT_EQ(decodeText("\xc3").size(), 1) << "a cut-off UTF-8 sequence is not UTF-8";
}

// Sizes on either side of the 2 MB where the buffer leaves plain allocation.
TEST(PageBuffer, KeepsItsBytesThroughResizesAndMoves)
{
    constexpr qsizetype kMB = qsizetype(1) << 20;
    for (const qsizetype size : {qsizetype(0), qsizetype(3 * 4096 + 5), 2 * kMB - 1, 2 * kMB, 3 * kMB + 17, 9 * kMB - 4096}) {
        PageBuffer buffer = PageBuffer::allocate(size);
        ASSERT_TRUE(!buffer.isNull() && buffer.size() == size && buffer.capacity() >= size) << size;
        const QByteArray bytes = pattern(size);
        std::copy(bytes.begin(), bytes.end(), buffer.data());
        // Growing past the capacity moves the bytes, intact; the new room is usable.
        const qsizetype grown = buffer.capacity() + 3 * kMB;
        ASSERT_TRUE(buffer.resize(grown)) << size;
        EXPECT_TRUE(holds(buffer, bytes)) << size;
        buffer.data()[grown - 1] = 'x';
        // Shrinking leaves the bytes where they are; a move takes them along.
        const char *before = buffer.data();
        ASSERT_TRUE(buffer.resize(size / 2)) << size;
        PageBuffer moved = std::move(buffer);
        EXPECT_TRUE(buffer.isNull() && buffer.size() == 0) << size;
        EXPECT_TRUE(moved.data() == before && holds(moved, bytes.first(size / 2))) << size;
    }
    EXPECT_TRUE(PageBuffer::allocate(-1).isNull());
    EXPECT_FALSE(PageBuffer::allocate(1).resize(-1));
}

// Both forms of the read, into a QByteArray and into a PageBuffer.
TEST(ReadWholeFile, ReadsUpToTheCapAndSaysWhyNot)
{
    TempFolder dir;
    const QByteArray large = pattern(5 * 1024 * 1024 + 123);
    dir.write("large", large);
    dir.write("small", "12345");
    dir.write("empty", "");
    using Status = FileRead::Status;
    const struct { const char *name; QString path; qint64 maxBytes; Status status; QByteArray data; } rows[] = {
        {"missing", dir.file("none"), 10, Status::Missing, {}},
        {"a folder is no file", dir.path(), 10, Status::Unreadable, {}},
        {"exactly the cap", dir.file("small"), 5, Status::Ok, "12345"},
        {"one byte over the cap", dir.file("small"), 4, Status::TooLarge, {}},
        {"empty file", dir.file("empty"), 10, Status::Ok, ""},
        {"several megabytes", dir.file("large"), large.size(), Status::Ok, large},
        // /proc says 0 bytes for files with text: read on past the size at opening.
        {"grows while read", "/proc/self/status", 1 << 20, Status::Ok, "Name:"},
        {"grows past the cap", "/proc/self/status", 16, Status::TooLarge, {}},
    };
    for (const auto &row : rows) {
        const FileRead read = readWholeFile(row.path, row.maxBytes);
        PageBuffer out = PageBuffer::allocate(3); // replaced whatever the outcome
        EXPECT_EQ(read.status, row.status) << row.name;
        EXPECT_EQ(readWholeFile(row.path, row.maxBytes, out), row.status) << row.name;
        EXPECT_EQ(out.isNull(), row.status != Status::Ok) << row.name;
        const bool prefix = row.data == "Name:";
        EXPECT_EQ(prefix ? read.data.left(5) : read.data, row.data) << row.name;
        if (!out.isNull()) {
            EXPECT_EQ(QByteArrayView(out.data(), prefix ? 5 : out.size()), row.data) << row.name;
        }
    }
}
