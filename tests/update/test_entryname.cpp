#include "update/entryname.h"

#include "support/printers.h"

#include <gtest/gtest.h>

namespace {

struct NameRow
{
    const char *label;
    QByteArray name;
    bool ok;
    QByteArrayList parts;
    bool directory;
};

void PrintTo(const NameRow &row, std::ostream *os)
{
    *os << row.label;
}

class EntryNameTest : public ::testing::TestWithParam<NameRow>
{
};

TEST_P(EntryNameTest, StaysBelowTheFolderOrIsRefused)
{
    const NameRow &row = GetParam();
    const EntryName checked = checkEntryName(row.name);
    EXPECT_EQ(checked.ok, row.ok) << checked.reason.toStdString();
    if (row.ok) {
        EXPECT_EQ(checked.parts, row.parts);
        EXPECT_EQ(checked.directory, row.directory);
    } else {
        EXPECT_FALSE(checked.reason.isEmpty());
    }
}

const QByteArray kLongPart(256, 'x');

INSTANTIATE_TEST_SUITE_P(
    Names, EntryNameTest,
    ::testing::Values(
        NameRow{"plain file", "q2modlist.dat", true, {"q2modlist.dat"}, false},
        NameRow{"file in sub-folders", "mods/dm/arena.htm", true, {"mods", "dm", "arena.htm"}, false},
        NameRow{"folder", "mods/", true, {"mods"}, true},
        NameRow{"dots inside a name", "a..b/...", true, {"a..b", "..."}, false},
        NameRow{"blank and 8-bit text", "M\xc3\xb6" "d list/page 1.htm", true, {"M\xc3\xb6" "d list", "page 1.htm"}, false},
        NameRow{"colon after the first letter pair", "ab:c", true, {"ab:c"}, false},
        NameRow{"part of 255 bytes", QByteArray(255, 'y'), true, {QByteArray(255, 'y')}, false},
        NameRow{"empty", "", false, {}, false},
        NameRow{"parent step", "../evil.txt", false, {}, false},
        NameRow{"parent step inside", "mods/../../evil.txt", false, {}, false},
        NameRow{"parent step at the end", "mods/..", false, {}, false},
        NameRow{"parent folder entry", "../", false, {}, false},
        NameRow{"current folder step", "./a.txt", false, {}, false},
        NameRow{"absolute", "/etc/passwd", false, {}, false},
        NameRow{"drive letter", "C:/windows/evil.dll", false, {}, false},
        NameRow{"drive-relative", "c:evil.txt", false, {}, false},
        NameRow{"backslash step", "..\\evil.txt", false, {}, false},
        NameRow{"backslash in a name", "mods\\a.htm", false, {}, false},
        NameRow{"empty part", "mods//a.htm", false, {}, false},
        NameRow{"double slash at the end", "mods//", false, {}, false},
        NameRow{"control character", "a\x01.txt", false, {}, false},
        NameRow{"delete character", "a\x7f.txt", false, {}, false},
        NameRow{"part too long", "mods/" + kLongPart, false, {}, false},
        NameRow{"name too long", QByteArray(2100, 'a') + '/' + QByteArray(2100, 'b'), false, {}, false}));

} // namespace
