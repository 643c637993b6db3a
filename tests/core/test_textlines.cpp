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
