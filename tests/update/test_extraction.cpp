#include "archive/archiveextractor.h"
#include "archive/entryname.h"
#include "mods/modinstaller.h"

#include "support/tempfolder.h"
#include "updatetest.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <csignal>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Status = ExtractionResult::Status;

namespace {

// What a name becomes below the folder: its parts, and whether it names a folder. A name without parts is refused.
struct NameRow
{
    const char *label;
    QByteArray name;
    QByteArrayList parts = {};
    bool directory = false;
};

void PrintTo(const NameRow &row, std::ostream *os) { *os << row.label; }

class EntryNameTest : public ::testing::TestWithParam<NameRow> {};

TEST_P(EntryNameTest, StaysBelowTheFolderOrIsRefused)
{
    const NameRow &row = GetParam();
    const EntryName checked = checkEntryName(row.name);
    EXPECT_EQ(checked.ok, !row.parts.isEmpty()) << checked.reason.toStdString();
    EXPECT_EQ(checked.parts, row.parts);
    EXPECT_EQ(checked.directory, row.directory);
    EXPECT_NE(checked.ok, !checked.reason.isEmpty()) << "a refusal says why";
}

INSTANTIATE_TEST_SUITE_P(
    Names, EntryNameTest,
    ::testing::Values(
        NameRow{"plain file", "q2modlist.dat", {"q2modlist.dat"}},
        NameRow{"file in sub-folders", "mods/dm/arena.htm", {"mods", "dm", "arena.htm"}},
        NameRow{"folder", "mods/", {"mods"}, true},
        NameRow{"dots inside a name", "a..b/...", {"a..b", "..."}},
        NameRow{"blank and 8-bit text", "M\xc3\xb6" "d list/page 1.htm", {"M\xc3\xb6" "d list", "page 1.htm"}},
        NameRow{"colon after the first letter pair", "ab:c", {"ab:c"}},
        NameRow{"part of 255 bytes", QByteArray(255, 'y'), {QByteArray(255, 'y')}},
        NameRow{"empty", ""},
        NameRow{"parent step", "../evil.txt"},
        NameRow{"parent step inside", "mods/../../evil.txt"},
        NameRow{"current folder step", "./a.txt"},
        NameRow{"absolute", "/etc/passwd"},
        NameRow{"drive letter", "C:/windows/evil.dll"},
        NameRow{"backslash in a name", "mods\\a.htm"},
        NameRow{"empty part", "mods//a.htm"},
        NameRow{"control character", "a\x01.txt"},
        NameRow{"delete character", "a\x7f.txt"},
        NameRow{"part too long", "mods/" + QByteArray(256, 'x')},
        NameRow{"name too long", QByteArray(2100, 'a') + '/' + QByteArray(2100, 'b')}));

// Sets or clears the immutable flag; false where the file system or the user's rights do not allow it.
bool setImmutable(const QString &path, bool on)
{
    QFile file(path);
    int flags = 0;
    if (!file.open(QIODevice::ReadOnly) || ioctl(file.handle(), FS_IOC_GETFLAGS, &flags) != 0)
        return false;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    return ioctl(file.handle(), FS_IOC_SETFLAGS, &flags) == 0;
}

// A program folder with a list and a page from an earlier update, and a file beside it that no archive may reach. The
// archive itself lies elsewhere.
class Extraction : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root.write(u"outside.txt"_s, "outside");
        root.write(u"program/q2modlist.dat"_s, "old list");
        root.write(u"program/mods/old.htm"_s, "old page");
        extractor.setProtectedNames({u"favs.dat"_s, u"favs.dat.bak*"_s});
        getrlimit(RLIMIT_FSIZE, &fileSizeLimit);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past a lowered limit fails instead
    }
    void TearDown() override
    {
        setrlimit(RLIMIT_FSIZE, &fileSizeLimit);
        setImmutable(root.file(u"program/zz.txt"_s), false);
    }

    ExtractionResult extract(const QByteArray &zip) const
    {
        archives.write(u"tempor.zip"_s, zip);
        return extractor.extract(archives.file(u"tempor.zip"_s), root.file(u"program"_s));
    }

    TempFolder root;
    TempFolder archives;
    ArchiveExtractor extractor;
    rlimit fileSizeLimit = {};
};

// A good entry first, so that a failure after it shows whether anything landed.
ZipEntry newList() { return ZipEntry::file("q2modlist.dat", "new list"); }

// A link where the archive brings a file is replaced by the file, its target left alone. The work folder that a crash
// left before its journal goes first; names that an earlier version gave the backups of replaced files land as any.
TEST_F(Extraction, UnpacksEveryEntryWithItsFoldersAndReplacesFiles)
{
    root.write(u"program/.kml-update/staging/q2modlist.dat"_s, "half");
    root.write(u"program/welcome.htm"_s, "old welcome");
    ASSERT_EQ(::symlink("../outside.txt", QFile::encodeName(root.file(u"program/link.htm"_s)).constData()), 0);
    ZipEntry page = ZipEntry::file("mods/a.htm", QByteArray(5000, 'a'));
    page.mtime = QDateTime(QDate(2001, 7, 4), QTime(9, 5, 0)).toSecsSinceEpoch();

    const ExtractionResult result = extract(buildZip({newList(), page, ZipEntry::stored("mods/dm/b.htm", "stored page"),
                                                      ZipEntry::folder("empty/"), ZipEntry::file("mods/zero.htm", ""),
                                                      ZipEntry::file("link.htm", "page"), ZipEntry::file("replaced-0", "zero"),
                                                      ZipEntry::file("welcome.htm", "new"),
                                                      ZipEntry::file("replaced-1/x.htm", "x")}));

    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(result.filesWritten, 8);
    const FolderSnapshot expected{
        {u"outside.txt"_s, "outside"}, {u"program"_s, "<folder>"}, {u"program/q2modlist.dat"_s, "new list"},
        {u"program/link.htm"_s, "page"}, {u"program/mods"_s, "<folder>"}, {u"program/mods/old.htm"_s, "old page"},
        {u"program/mods/a.htm"_s, QByteArray(5000, 'a')}, {u"program/mods/dm"_s, "<folder>"}, {u"program/mods/zero.htm"_s, ""},
        {u"program/mods/dm/b.htm"_s, "stored page"}, {u"program/empty"_s, "<folder>"}, {u"program/replaced-0"_s, "zero"},
        {u"program/welcome.htm"_s, "new"}, {u"program/replaced-1"_s, "<folder>"}, {u"program/replaced-1/x.htm"_s, "x"}};
    EXPECT_EQ(snapshot(root.path()), expected) << "no work folder is left";
    EXPECT_EQ(QFileInfo(root.file(u"program/mods/a.htm"_s)).lastModified().toSecsSinceEpoch(), page.mtime);
}

TEST_F(Extraction, TwentyThousandFoldersUnpackUnderALowOpenFileLimit)
{
    QList<ZipEntry> entries;
    for (int i = 0; i < 20000; ++i)
        entries.push_back(ZipEntry::stored(u"mods/m%1/index.htm"_s.arg(i).toUtf8(), "page"));
    archives.write(u"tempor.zip"_s, buildZip(entries));
    // Open files are what is counted here, not the disk's speed: memory will do.
    QTemporaryDir inMemory(QFileInfo(u"/dev/shm"_s).isWritable() ? u"/dev/shm/kml-test-XXXXXX"_s : QString());

    // A limit lowered for good, hard limit included, in a child process; the second run replaces every file.
    const pid_t child = fork();
    if (child == 0) {
        const rlimit low{64, 64};
        bool ok = setrlimit(RLIMIT_NOFILE, &low) == 0;
        for (int run = 0; ok && run < 2; ++run) {
            const ExtractionResult result = extractor.extract(archives.file(u"tempor.zip"_s), inMemory.path());
            ok = result.ok() && result.filesWritten == 20000;
            if (!ok)
                std::fprintf(stderr, "run %d: %s\n", run, qPrintable(result.message));
        }
        std::_Exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(QDir(inMemory.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{u"mods"_s})
        << "no work folder is left";
}

// Archives, and program folders, that must leave every file as it was: the faults that only an archive can carry,
// beyond its names, and what the folder holds where an entry goes.
struct FailureRow
{
    const char *label;
    QByteArray zip;
    Status expected = Status::Refused;
    ExtractionLimits limits = {};
    std::function<void(const TempFolder &)> prepare = {};  // before the extraction
};

void PrintTo(const FailureRow &row, std::ostream *os) { *os << row.label; }

class FailedExtraction : public Extraction, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(FailedExtraction, ChangesNothing)
{
    if (GetParam().prepare)
        GetParam().prepare(root);
    if (HasFatalFailure() || IsSkipped())
        return;
    extractor.setLimits(GetParam().limits);
    const FolderSnapshot before = snapshot(root.path());
    const ExtractionResult result = extract(GetParam().zip);
    EXPECT_EQ(result.status, GetParam().expected) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_EQ(snapshot(root.path()), before) << "every file, inside the folder and out, is as it was";
}

// The new list, then the entries that fail.
QByteArray withNewList(const QList<ZipEntry> &entries, const std::function<void(ZipPatch &)> &patch = {})
{
    return buildZip(QList{newList()} + entries, patch);
}

std::vector<FailureRow> hostileArchives()
{
    return {
        FailureRow{"error page instead of a zip", "<html><body>404 Not Found</body></html>", Status::NotAnArchive},
        FailureRow{"empty file", QByteArray(), Status::NotAnArchive},
        FailureRow{"archive cut short", withNewList({ZipEntry::file("mods/a.htm", QByteArray(9000, 'x'))}).chopped(100),
                   Status::NotAnArchive},
        FailureRow{"a name out of the folder", withNewList({ZipEntry::file("../evil.txt", "x")})},
        // Without the UTF-8 flag, bytes below 0x20 are CP437 symbols and land as such; flagged as UTF-8, libzip takes
        // the name for a broken archive.
        FailureRow{"control character",
                   withNewList({ZipEntry::file("a\x1b.txt", "x")}, [](ZipPatch &p) { p.addFlags(1, 0x0800); }), Status::Damaged},
        FailureRow{"NUL in the name",
                   withNewList({ZipEntry::file("evilX/../../x.txt", "x")}).replace("evilX/", QByteArray("evil\0/", 6))},
        // libzip ends the name at the NUL: it would land as "page.htm".
        FailureRow{"NUL before a harmless end",
                   withNewList({ZipEntry::file("page.htmX.exe", "x")}).replace("page.htmX", QByteArray("page.htm\0", 9))},
        // Read as CP437, the escape byte becomes an arrow.
        FailureRow{"control character in an 8-bit name", withNewList({ZipEntry::file("a\x1b\xe9.txt", "x")})},
        FailureRow{"one of the program's own files", withNewList({ZipEntry::file("favs.dat.bak2", "x")})},
        FailureRow{"the update's work folder", withNewList({ZipEntry::file(".kml-update/staging/a", "x")})},
        FailureRow{"link to a folder outside", withNewList({ZipEntry::symlink("link", "/etc")})},
        FailureRow{"named pipe", withNewList({{"pipe", {}, ZIP_CM_STORE, S_IFIFO | 0644}})},
        FailureRow{"encrypted entry",
                   withNewList({ZipEntry::stored("secret.txt", "xxxxxxxxxxxxhidden")}, [](ZipPatch &p) { p.addFlags(1, 1); })},
        FailureRow{"unknown compression method",
                   withNewList({ZipEntry::file("a.htm", "page")}, [](ZipPatch &p) { p.setMethod(1, 18); })},
        FailureRow{"folder entry with data", withNewList({ZipEntry::stored("folder/", "data")})},
        FailureRow{"one name as file and folder", withNewList({ZipEntry::file("mods", "x"), ZipEntry::file("mods/a.htm", "y")})},
        FailureRow{"more entries than allowed", withNewList({ZipEntry::file("a", "1"), ZipEntry::file("b", "2")}),
                   Status::Refused, {.maxEntries = 2}},
        FailureRow{"declared sizes past the total cap",
                   withNewList({ZipEntry::stored("a", "1"), ZipEntry::stored("b", "2")},
                            [](ZipPatch &p) { p.setSize(1, 0xFFFFFFF0u), p.setSize(2, 0xFFFFFFF0u); })},
        FailureRow{"unpacks to far more than it holds", withNewList({ZipEntry::file("zeros", QByteArray(4 << 20, '\0'))}),
                   Status::Refused, {.maxRatio = 50, .ratioFloor = quint64(1) << 20}},
        // The first entry's data runs on over the second entry, header and all, up to the central directory: each entry
        // lies within the archive, but the second one's bytes are counted twice.
        FailureRow{"overlapping entries",
                   buildZip({ZipEntry::stored("a", QByteArray(100, 'a')), ZipEntry::stored("b", QByteArray(1000, 'b'))},
                            [](ZipPatch &p) {
                                const quint32 span = quint32(p.data(1) + p.compressedSize(1) - p.data(0));
                                p.setCompressedSize(0, span), p.setSize(0, span);
                            })},
        // The CRC is checked only once libzip has read the entry to its end.
        FailureRow{"data changed in transit",
                   withNewList({ZipEntry::stored("a.htm", "good page text")}, [](ZipPatch &p) { p.zip[p.data(1)] = 'G'; }),
                   Status::Damaged},
        FailureRow{"longer than declared",
                   withNewList({ZipEntry::file("zeros", QByteArray(262144, '\0'))}, [](ZipPatch &p) { p.setSize(1, 10); }),
                   Status::Damaged},
        FailureRow{"shorter than declared",
                   withNewList({ZipEntry::file("zeros", QByteArray(1000, '\0'))}, [](ZipPatch &p) { p.setSize(1, 2000); }),
                   Status::Damaged}};
}

INSTANTIATE_TEST_SUITE_P(HostileArchives, FailedExtraction, ::testing::ValuesIn(hostileArchives()));

// The same archives as mods, with the installer's own limits: nothing is installed, and the mods folder, with a mod of
// the user's beside ours, stays as it was.
class HostileModArchive : public FailedExtraction {};

TEST_P(HostileModArchive, InstallsNothingAndLosesNothing)
{
    ModInstaller installer(root.file(u"mods"_s));
    root.write(u"mods/own/pak0.pak"_s, "the user's own mod");
    archives.write(u"good.zip"_s, buildZip({ZipEntry::file("good/pak0.pak", "pak")}));
    ASSERT_TRUE(installer.install(archives.file(u"good.zip"_s), u"good"_s).ok);
    archives.write(u"mod.zip"_s, GetParam().zip);
    const FolderSnapshot before = snapshot(root.path());
    for (const QString &game : {u"good"_s, u"fresh"_s}) {
        const ModInstaller::Result result = installer.install(archives.file(u"mod.zip"_s), game);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.message.contains(u"mod.zip"_s)) << result.message.toStdString();
    }
    EXPECT_EQ(snapshot(root.path()), before);
}

std::vector<FailureRow> hostileModArchives()
{
    std::vector<FailureRow> rows;
    for (const FailureRow &row : hostileArchives()) {
        // The installer keeps the default limits and no protected names of the program folder.
        if (row.limits.maxEntries == ExtractionLimits{}.maxEntries && row.limits.maxRatio == ExtractionLimits{}.maxRatio &&
            std::string_view(row.label) != "one of the program's own files")
            rows.push_back(row);
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(HostileArchives, HostileModArchive, ::testing::ValuesIn(hostileModArchives()));

// A link to elsewhere/, with a file in it, at `name`.
std::function<void(const TempFolder &)> linkAt(const char *name, const char *target)
{
    return [=](const TempFolder &root) {
        root.write(u"elsewhere/keep.txt"_s, "keep");
        ASSERT_EQ(::symlink(target, QFile::encodeName(root.file(QString::fromLatin1(name))).constData()), 0);
    };
}

// Where the archive needs a folder, the program folder has a link or a file, or a folder where the archive brings a
// file. Nothing is written through a link.
INSTANTIATE_TEST_SUITE_P(
    DestinationConflicts, FailedExtraction,
    ::testing::Values(
        FailureRow{"folder is a link to a folder outside", withNewList({ZipEntry::file("pages/a.htm", "x")}), Status::Conflict,
                   {}, linkAt("program/pages", "../elsewhere")},
        FailureRow{"deeper folder is a link", withNewList({ZipEntry::file("mods/dm/a.htm", "x")}), Status::Conflict, {},
                   linkAt("program/mods/dm", "../../elsewhere")},
        FailureRow{"folder entry meets a link", withNewList({ZipEntry::folder("pages/")}), Status::Conflict, {},
                   linkAt("program/pages", "../elsewhere")},
        FailureRow{"a file where a folder belongs", withNewList({ZipEntry::file("pages/a.htm", "x")}), Status::Conflict, {},
                   [](const TempFolder &root) { root.write(u"program/pages"_s, "a file"); }},
        FailureRow{"a folder where a file belongs", withNewList({ZipEntry::file("page.htm", "x")}), Status::Conflict, {},
                   [](const TempFolder &root) { root.write(u"program/page.htm/inner.txt"_s, "inner"); }}));

// A write fails half-way through an entry, as on a full disk; a file cannot be replaced after the list was.
INSTANTIATE_TEST_SUITE_P(
    WriteFailures, FailedExtraction,
    ::testing::Values(
        FailureRow{"disk full",
                   withNewList({ZipEntry::file("mods/old.htm", "new page"), ZipEntry::file("big.bin", QByteArray(300000, 'b'))}),
                   Status::WriteFailed, {},
                   [](const TempFolder &) {
                       rlimit small;
                       getrlimit(RLIMIT_FSIZE, &small);
                       small.rlim_cur = 100000;
                       ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
                   }},
        FailureRow{"a file cannot be replaced",
                   withNewList({ZipEntry::file("mods/new/c.htm", "new c"), ZipEntry::file("zz.txt", "new zz")}),
                   Status::WriteFailed, {},
                   [](const TempFolder &root) {
                       root.write(u"program/zz.txt"_s, "old zz");
                       if (!setImmutable(root.file(u"program/zz.txt"_s), true))
                           GTEST_SKIP() << "no immutable files here";
                   }}));

} // namespace
