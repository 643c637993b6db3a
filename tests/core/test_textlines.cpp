#include "core/textlines.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

QList<QByteArray> allLines(QByteArrayView data)
{
    QList<QByteArray> out;
    LineReader reader(data);
    while (const auto line = reader.next())
        out.append(line->toByteArray());
    return out;
}

} // namespace

TEST(LineReader, AcceptsEveryLineEnd)
{
    struct Row
    {
        const char *name;
        QByteArray data;
        QList<QByteArray> lines;
    } rows[] = {
        {"crlf", "a\r\nb\r\n", {"a", "b"}},
        {"lone lf", "a\nb\n", {"a", "b"}},
        {"lone cr", "a\rb\r", {"a", "b"}},
        {"mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"no final terminator", "a\r\nb", {"a", "b"}},
        {"blank lines kept", "a\r\n\r\n\nb\r\n", {"a", "", "", "b"}},
        {"empty data", "", {}},
        {"only a terminator", "\r\n", {""}},
        {"cr lf split is one end", "x\r\n\r\n", {"x", ""}},
        {"nul bytes stay in the line", QByteArray("a\0b\r\n", 5), {QByteArray("a\0b", 3)}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(allLines(row.data), row.lines) << row.name;
}

TEST(DecodeText, Utf8AndWindows1252)
{
    EXPECT_EQ(decodeText("plain"), QStringLiteral("plain"));
    EXPECT_EQ(decodeText("Fr\xc3\xa4g"), QString::fromUtf8("Fr\xc3\xa4g"));
    // Not UTF-8: every byte becomes one Windows-1252 character.
    EXPECT_EQ(decodeText("Fr\xe4g \x80 \x93q\x94"), QString::fromUtf8("Fr\xc3\xa4g \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"));
    // Bytes that Windows-1252 leaves undefined still map to a character each.
    EXPECT_EQ(decodeText("\x81\x8d").size(), 2);
    // A cut-off UTF-8 sequence is not UTF-8.
    EXPECT_EQ(decodeText("\xc3").size(), 1);
}

TEST(ReadWholeFile, ReportsMissingUnreadableAndTooLarge)
{
    TempFolder dir;
    dir.write(QStringLiteral("small"), "12345");
    EXPECT_EQ(readWholeFile(dir.file(QStringLiteral("none")), 10).status, FileRead::Status::Missing);
    EXPECT_EQ(readWholeFile(dir.path(), 10).status, FileRead::Status::Unreadable) << "a folder is no file";
    const FileRead ok = readWholeFile(dir.file(QStringLiteral("small")), 5);
    EXPECT_EQ(ok.status, FileRead::Status::Ok);
    EXPECT_EQ(ok.data, "12345");
    EXPECT_EQ(readWholeFile(dir.file(QStringLiteral("small")), 4).status, FileRead::Status::TooLarge);
}

namespace {

char patternByte(qsizetype i)
{
    return char((i * 7 + i / 4096) % 251);
}

bool holdsPattern(const PageBuffer &buffer, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (buffer.data()[i] != patternByte(i))
            return false;
    }
    return true;
}

} // namespace

TEST(PageBuffer, KeepsItsBytesThroughResizesAndMoves)
{
    constexpr qsizetype kMB = qsizetype(1) << 20;
    struct Row
    {
        const char *name;
        qsizetype size;
    } rows[] = {
        {"empty", 0},
        {"one byte", 1},
        {"a few pages", 3 * 4096 + 5},
        {"just under a huge page", 2 * kMB - 1},
        {"one huge page", 2 * kMB},
        {"huge page and a short tail", 3 * kMB + 17},
        {"several huge pages, rounded up", 9 * kMB - 4096},
    };
    for (const Row &row : rows) {
        PageBuffer buffer = PageBuffer::allocate(row.size);
        ASSERT_FALSE(buffer.isNull()) << row.name;
        EXPECT_EQ(buffer.size(), row.size) << row.name;
        EXPECT_GE(buffer.capacity(), row.size) << row.name;
        for (qsizetype i = 0; i < row.size; ++i)
            buffer.data()[i] = patternByte(i);

        // Growing past the capacity moves the bytes, intact; the new room is usable.
        const qsizetype grown = buffer.capacity() + 3 * kMB;
        ASSERT_TRUE(buffer.resize(grown)) << row.name;
        EXPECT_EQ(buffer.size(), grown) << row.name;
        EXPECT_TRUE(holdsPattern(buffer, row.size)) << row.name;
        buffer.data()[grown - 1] = 'x';

        // Shrinking leaves the bytes where they are.
        const char *before = buffer.data();
        ASSERT_TRUE(buffer.resize(row.size / 2)) << row.name;
        EXPECT_EQ(buffer.data(), before) << row.name;
        EXPECT_TRUE(holdsPattern(buffer, row.size / 2)) << row.name;

        PageBuffer moved = std::move(buffer);
        EXPECT_TRUE(buffer.isNull()) << row.name;
        EXPECT_EQ(buffer.size(), 0) << row.name;
        EXPECT_EQ(moved.data(), before) << row.name;
        buffer = std::move(moved);
        EXPECT_EQ(buffer.data(), before) << row.name;
        EXPECT_TRUE(holdsPattern(buffer, row.size / 2)) << row.name;
    }
    EXPECT_TRUE(PageBuffer::allocate(-1).isNull());
    EXPECT_FALSE(PageBuffer::allocate(1).resize(-1));
}

TEST(ReadWholeFile, IntoAPageBuffer)
{
    TempFolder dir;
    QByteArray large(5 * 1024 * 1024 + 123, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = patternByte(i);
    dir.write(QStringLiteral("large"), large);
    dir.write(QStringLiteral("small"), "12345");
    dir.write(QStringLiteral("empty"), "");

    struct Row
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
    };
    for (const Row &row : rows) {
        PageBuffer out = PageBuffer::allocate(3); // replaced whatever the outcome
        EXPECT_EQ(readWholeFile(row.path, row.maxBytes, out), row.status) << row.name;
        EXPECT_EQ(out.isNull(), row.status != FileRead::Status::Ok) << row.name;
        if (row.status == FileRead::Status::Ok) {
            EXPECT_EQ(QByteArrayView(out.data(), out.size()), row.data) << row.name;
        }
    }
}

#ifdef Q_OS_LINUX
// A file that holds more than its size said when it was opened is read to its
// end, as one that grows while it is read; past the cap it is too large.
// /proc reports a size of 0 for files that have text.
TEST(ReadWholeFile, ReadsOnPastTheSizeReportedAtOpening)
{
    const QString status = QStringLiteral("/proc/self/status");
    const FileRead bytes = readWholeFile(status, 1 << 20);
    EXPECT_EQ(bytes.status, FileRead::Status::Ok);
    EXPECT_TRUE(bytes.data.startsWith("Name:"));
    EXPECT_GT(bytes.data.size(), 100);

    PageBuffer buffer;
    EXPECT_EQ(readWholeFile(status, 1 << 20, buffer), FileRead::Status::Ok);
    EXPECT_TRUE(QByteArrayView(buffer.data(), buffer.size()).startsWith("Name:"));
    EXPECT_GT(buffer.size(), 100);

    EXPECT_EQ(readWholeFile(status, 16).status, FileRead::Status::TooLarge);
    EXPECT_EQ(readWholeFile(status, 16, buffer), FileRead::Status::TooLarge);
    EXPECT_TRUE(buffer.isNull());
}
#endif
