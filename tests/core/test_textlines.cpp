#include "core/textlines.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

char patternByte(qsizetype i) { return char((i * 7 + i / 4096) % 251); }

bool holdsPattern(const PageBuffer &buffer, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (buffer.data()[i] != patternByte(i))
            return false;
    }
    return true;
}

} // namespace

TEST(LineReader, AcceptsEveryLineEnd)
{
    const struct
    {
        const char *name;
        QByteArray data;
        QList<QByteArray> lines;
    } rows[] = {
        {"crlf", "a\r\nb\r\n", {"a", "b"}},
        {"lone lf", "a\nb\n", {"a", "b"}},
        {"lone cr", "a\rb\r", {"a", "b"}},
        {"mixed, no final terminator", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"blank lines kept", "a\r\n\r\n\nb\r\n", {"a", "", "", "b"}},
        {"empty data", "", {}},
        {"only a terminator", "\r\n", {""}},
        {"nul bytes stay in the line", QByteArray("a\0b\r\n", 5), {QByteArray("a\0b", 3)}},
    };
    for (const auto &row : rows) {
        QList<QByteArray> lines;
        LineReader reader(row.data);
        while (const auto line = reader.next())
            lines.append(line->toByteArray());
        EXPECT_EQ(lines, row.lines) << row.name;
    }
}

TEST(DecodeText, Utf8OrElseWindows1252ByteForByte)
{
    EXPECT_EQ(decodeText("Fr\xc3\xa4g"), QString::fromUtf8("Fr\xc3\xa4g"));
    EXPECT_EQ(decodeText("Fr\xe4g \x80 \x93q\x94"), QString::fromUtf8("Fr\xc3\xa4g \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"));
    EXPECT_EQ(decodeText("\x81\x8d").size(), 2) << "bytes Windows-1252 leaves undefined";
    EXPECT_EQ(decodeText("\xc3").size(), 1) << "a cut-off UTF-8 sequence is not UTF-8";
}

TEST(PageBuffer, KeepsItsBytesThroughResizesAndMoves)
{
    constexpr qsizetype kMB = qsizetype(1) << 20;
    for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(3 * 4096 + 5), 2 * kMB - 1, 2 * kMB, 3 * kMB + 17, 9 * kMB - 4096}) {
        PageBuffer buffer = PageBuffer::allocate(size);
        ASSERT_FALSE(buffer.isNull()) << size;
        EXPECT_TRUE(buffer.size() == size && buffer.capacity() >= size) << size;
        for (qsizetype i = 0; i < size; ++i)
            buffer.data()[i] = patternByte(i);
        // Growing past the capacity moves the bytes, intact; the new room is usable.
        const qsizetype grown = buffer.capacity() + 3 * kMB;
        ASSERT_TRUE(buffer.resize(grown)) << size;
        EXPECT_TRUE(holdsPattern(buffer, size)) << size;
        buffer.data()[grown - 1] = 'x';
        // Shrinking leaves the bytes where they are; a move takes them along.
        const char *before = buffer.data();
        ASSERT_TRUE(buffer.resize(size / 2)) << size;
        PageBuffer moved = std::move(buffer);
        EXPECT_TRUE(buffer.isNull() && buffer.size() == 0) << size;
        EXPECT_EQ(moved.data(), before) << size;
        EXPECT_TRUE(holdsPattern(moved, size / 2)) << size;
    }
    EXPECT_TRUE(PageBuffer::allocate(-1).isNull());
    EXPECT_FALSE(PageBuffer::allocate(1).resize(-1));
}

TEST(ReadWholeFile, ReadsUpToTheCapAndSaysWhyNot)
{
    TempFolder dir;
    QByteArray large(5 * 1024 * 1024 + 123, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = patternByte(i);
    dir.write(QStringLiteral("large"), large);
    dir.write(QStringLiteral("small"), "12345");
    dir.write(QStringLiteral("empty"), "");
    const struct
    {
        const char *name;
        QString path;
        qint64 maxBytes;
        FileRead::Status status;
        QByteArray data;
    } rows[] = {
        {"missing", dir.file(QStringLiteral("none")), 10, FileRead::Status::Missing, {}},
        {"a folder is no file", dir.path(), 10, FileRead::Status::Unreadable, {}},
        {"exactly the cap", dir.file(QStringLiteral("small")), 5, FileRead::Status::Ok, "12345"},
        {"one byte over the cap", dir.file(QStringLiteral("small")), 4, FileRead::Status::TooLarge, {}},
        {"empty file", dir.file(QStringLiteral("empty")), 10, FileRead::Status::Ok, ""},
        {"several megabytes", dir.file(QStringLiteral("large")), large.size(), FileRead::Status::Ok, large},
        // /proc says 0 bytes for files with text: read on past the size at opening.
        {"grows while read", QStringLiteral("/proc/self/status"), 1 << 20, FileRead::Status::Ok, "Name:"},
        {"grows past the cap", QStringLiteral("/proc/self/status"), 16, FileRead::Status::TooLarge, {}},
    };
    for (const auto &row : rows) {
        const FileRead read = readWholeFile(row.path, row.maxBytes);
        PageBuffer out = PageBuffer::allocate(3); // replaced whatever the outcome
        EXPECT_EQ(read.status, row.status) << row.name;
        EXPECT_EQ(readWholeFile(row.path, row.maxBytes, out), row.status) << row.name;
        EXPECT_EQ(out.isNull(), row.status != FileRead::Status::Ok) << row.name;
        const bool prefix = row.data == "Name:";
        EXPECT_EQ(prefix ? read.data.left(5) : read.data, row.data) << row.name;
        if (!out.isNull()) {
            EXPECT_EQ(QByteArrayView(out.data(), prefix ? 5 : out.size()), row.data) << row.name;
        }
    }
}
