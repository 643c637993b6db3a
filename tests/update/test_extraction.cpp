#include "update/archiveextractor.h"

#include "foldersnapshot.h"
#include "support/tempfolder.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Status = ExtractionResult::Status;

static void PrintTo(Status status, std::ostream *os)
{
    static const char *const names[] = {"Ok",      "CannotOpen", "NotAnArchive", "Damaged",
                                        "Refused", "Conflict",   "WriteFailed",  "Cancelled"};
    *os << names[int(status)];
}

namespace {

// A program folder with a list and a page from an earlier update, and a file
// beside it that no archive may reach. The archive itself lies elsewhere.
class Extraction : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root.write(u"outside.txt"_s, "outside");
        root.write(u"program/q2modlist.dat"_s, "old list");
        root.write(u"program/mods/old.htm"_s, "old page");
        extractor.setProtectedNames({u"favs.dat"_s, u"favs.dat.bak*"_s});
    }

    QString program() const { return root.file(u"program"_s); }

    ExtractionResult extract(const QByteArray &zip) const
    {
        archives.write(u"tempor.zip"_s, zip);
        return extractor.extract(archives.file(u"tempor.zip"_s), program());
    }

    TempFolder root;
    TempFolder archives;
    ArchiveExtractor extractor;
};

// A good entry first, so that a failure after it shows whether anything landed.
ZipEntry newList()
{
    return ZipEntry::file("q2modlist.dat", "new list");
}

QByteArray patched(const QList<ZipEntry> &entries, const std::function<void(ZipPatch &)> &patch)
{
    QByteArray zip = buildZip(entries);
    ZipPatch p(zip);
    patch(p);
    return zip;
}

// A link where the archive brings a file is replaced by the file, its target
// left alone.
TEST_F(Extraction, UnpacksEveryEntryWithItsFoldersAndReplacesFiles)
{
    ASSERT_EQ(::symlink("../outside.txt", QFile::encodeName(root.file(u"program/link.htm"_s)).constData()), 0);
    const time_t stamp = QDateTime(QDate(2001, 7, 4), QTime(9, 5, 0)).toSecsSinceEpoch();
    ZipEntry page = ZipEntry::file("mods/a.htm", QByteArray(5000, 'a'));
    page.mtime = stamp;

    const ExtractionResult result = extract(
        buildZip({newList(), ZipEntry::folder("mods/"), page, ZipEntry::stored("mods/dm/b.htm", "stored page"),
                  ZipEntry::folder("empty/"), ZipEntry::file("mods/zero.htm", ""), ZipEntry::file("link.htm", "page")}));

    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(result.filesWritten, 5);
    const FolderSnapshot expected{
        {u"outside.txt"_s, "outside"}, {u"program"_s, "<folder>"}, {u"program/q2modlist.dat"_s, "new list"},
        {u"program/link.htm"_s, "page"}, {u"program/mods"_s, "<folder>"}, {u"program/mods/old.htm"_s, "old page"},
        {u"program/mods/a.htm"_s, QByteArray(5000, 'a')}, {u"program/mods/dm"_s, "<folder>"},
        {u"program/mods/dm/b.htm"_s, "stored page"}, {u"program/mods/zero.htm"_s, ""}, {u"program/empty"_s, "<folder>"}};
    EXPECT_EQ(snapshot(root.path()), expected) << "no staging folder is left";
    EXPECT_EQ(QFileInfo(root.file(u"program/mods/a.htm"_s)).lastModified().toSecsSinceEpoch(), stamp);
}

TEST_F(Extraction, TwentyThousandFoldersUnpackUnderALowOpenFileLimit)
{
    QList<ZipEntry> entries;
    for (int i = 0; i < 20000; ++i)
        entries.push_back(ZipEntry::stored(u"mods/m%1/index.htm"_s.arg(i).toUtf8(), "page"));
    archives.write(u"tempor.zip"_s, buildZip(entries));
    // Open files are what is counted here, not the disk's speed: memory will do.
    QTemporaryDir inMemory(QFileInfo(u"/dev/shm"_s).isWritable() ? u"/dev/shm/kml-test-XXXXXX"_s : QString());
    const QString folder = inMemory.path();

    // A limit lowered for good, hard limit included, in a child process. The
    // second run replaces every file of the first.
    const pid_t child = fork();
    if (child == 0) {
        const rlimit low{64, 64};
        bool ok = setrlimit(RLIMIT_NOFILE, &low) == 0;
        for (int run = 0; ok && run < 2; ++run) {
            const ExtractionResult result = extractor.extract(archives.file(u"tempor.zip"_s), folder);
            ok = result.ok() && result.filesWritten == 20000;
            if (!ok)
                std::fprintf(stderr, "run %d: %s\n", run, qPrintable(result.message));
        }
        std::_Exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QFile last(folder + u"/mods/m19999/index.htm"_s);
    EXPECT_TRUE(last.open(QIODevice::ReadOnly) && last.readAll() == "page");
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{u"mods"_s})
        << "no work folder is left";
}

// Entries named as an earlier version named the backups of replaced files, in
// the staging folder's root among the staged entries.
struct ReplaceRow
{
    const char *label;
    QList<ZipEntry> entries;
};

void PrintTo(const ReplaceRow &row, std::ostream *os)
{
    *os << row.label;
}

class Replacing : public Extraction, public ::testing::WithParamInterface<ReplaceRow>
{
};

TEST_P(Replacing, PutsEveryEntryInPlace)
{
    root.write(u"program/welcome.htm"_s, "old welcome");
    FolderSnapshot expected = snapshot(root.path());
    for (const ZipEntry &entry : GetParam().entries) {
        QString path = u"program"_s;
        for (const QByteArray &part : entry.name.split('/')) {
            expected.insert(path, "<folder>");
            path += u'/' + QString::fromUtf8(part);
        }
        expected.insert(path, entry.data);
    }

    const ExtractionResult result = extract(buildZip(GetParam().entries));

    EXPECT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(snapshot(root.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    BackupNames, Replacing,
    ::testing::Values(ReplaceRow{"a folder where the second backup went",
                                 {newList(), ZipEntry::file("replaced-0", "zero"), ZipEntry::file("welcome.htm", "new"),
                                  ZipEntry::file("replaced-1/x.htm", "x")}},
                      ReplaceRow{"a file where the first backup went",
                                 {newList(), ZipEntry::file("replaced-0", "zero")}}));

// Archives that must leave every file as it was, inside the folder and out.
// Entry names have their own table (test_entryname.cpp); here are the faults
// that only an archive can carry.
struct BadArchiveRow
{
    const char *label;
    QByteArray zip;
    Status expected;
    ExtractionLimits limits = {};
};

void PrintTo(const BadArchiveRow &row, std::ostream *os)
{
    *os << row.label;
}

class BadArchive : public Extraction, public ::testing::WithParamInterface<BadArchiveRow>
{
};

TEST_P(BadArchive, ChangesNothing)
{
    const BadArchiveRow &row = GetParam();
    extractor.setLimits(row.limits);
    const FolderSnapshot before = snapshot(root.path());

    const ExtractionResult result = extract(row.zip);

    EXPECT_EQ(result.status, row.expected) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_EQ(snapshot(root.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, BadArchive,
    ::testing::Values(
        BadArchiveRow{"error page instead of a zip", "<html><body>404 Not Found</body></html>", Status::NotAnArchive},
        BadArchiveRow{"empty file", QByteArray(), Status::NotAnArchive},
        BadArchiveRow{"archive cut short",
                      [] {
                          const QByteArray zip = buildZip({newList(), ZipEntry::file("mods/a.htm", QByteArray(9000, 'x'))});
                          return zip.left(zip.size() / 2);
                      }(),
                      Status::NotAnArchive},
        BadArchiveRow{"a name out of the folder", buildZip({newList(), ZipEntry::file("../evil.txt", "x")}),
                      Status::Refused},
        // Without the UTF-8 flag, bytes below 0x20 are CP437 symbols and land as
        // such; flagged as UTF-8, libzip takes the name for a broken archive.
        BadArchiveRow{"control character",
                      patched({newList(), ZipEntry::file("a\x1b.txt", "x")}, [](ZipPatch &p) { p.addFlags(1, 0x0800); }),
                      Status::Damaged},
        BadArchiveRow{"NUL in the name",
                      buildZip({newList(), ZipEntry::file("evilX/../../x.txt", "x")}).replace("evilX/", QByteArray("evil\0/", 6)),
                      Status::Refused},
        // libzip ends the name at the NUL: it would land as "page.htm".
        BadArchiveRow{"NUL before a harmless end",
                      buildZip({newList(), ZipEntry::file("page.htmX.exe", "x")}).replace("page.htmX", QByteArray("page.htm\0", 9)),
                      Status::Refused},
        // Read as CP437, the escape byte becomes an arrow.
        BadArchiveRow{"control character in an 8-bit name", buildZip({newList(), ZipEntry::file("a\x1b\xe9.txt", "x")}),
                      Status::Refused},
        BadArchiveRow{"one of the program's own files", buildZip({newList(), ZipEntry::file("favs.dat.bak2", "x")}),
                      Status::Refused},
        BadArchiveRow{"the update's work folder", buildZip({newList(), ZipEntry::file(".kml-update/staging/a", "x")}),
                      Status::Refused},
        BadArchiveRow{"link to a folder outside", buildZip({newList(), ZipEntry::symlink("link", "/etc")}), Status::Refused},
        BadArchiveRow{"named pipe",
                      [] {
                          ZipEntry fifo = ZipEntry::stored("pipe", "");
                          fifo.unixMode = S_IFIFO | 0644;
                          return buildZip({newList(), fifo});
                      }(),
                      Status::Refused},
        BadArchiveRow{"encrypted entry",
                      patched({newList(), ZipEntry::stored("secret.txt", "xxxxxxxxxxxxhidden")},
                              [](ZipPatch &p) { p.addFlags(1, 1); }),
                      Status::Refused},
        BadArchiveRow{"unknown compression method",
                      patched({newList(), ZipEntry::file("a.htm", "page")}, [](ZipPatch &p) { p.setMethod(1, 18); }),
                      Status::Refused},
        BadArchiveRow{"folder entry with data", buildZip({newList(), ZipEntry::stored("folder/", "data")}),
                      Status::Refused},
        BadArchiveRow{"one name as file and folder",
                      buildZip({newList(), ZipEntry::file("mods", "x"), ZipEntry::file("mods/a.htm", "y")}),
                      Status::Refused},
        BadArchiveRow{"more entries than allowed",
                      buildZip({newList(), ZipEntry::file("a", "1"), ZipEntry::file("b", "2")}), Status::Refused,
                      ExtractionLimits{.maxEntries = 2}},
        BadArchiveRow{"declared sizes past the total cap",
                      patched({newList(), ZipEntry::stored("a", "1"), ZipEntry::stored("b", "2")},
                              [](ZipPatch &p) {
                                  p.setSize(1, 0xFFFFFFF0u);
                                  p.setSize(2, 0xFFFFFFF0u);
                              }),
                      Status::Refused},
        BadArchiveRow{"unpacks to far more than it holds",
                      buildZip({newList(), ZipEntry::file("zeros", QByteArray(4 << 20, '\0'))}), Status::Refused,
                      ExtractionLimits{.maxRatio = 50, .ratioFloor = quint64(1) << 20}},
        // The first entry's data runs on over the second entry, header and all, up
        // to the central directory: each entry lies within the archive, but the
        // second one's bytes are counted twice.
        BadArchiveRow{"overlapping entries",
                      patched({ZipEntry::stored("a", QByteArray(100, 'a')), ZipEntry::stored("b", QByteArray(1000, 'b'))},
                              [](ZipPatch &p) {
                                  const quint32 span = quint32(p.data(1) + p.compressedSize(1) - p.data(0));
                                  p.setCompressedSize(0, span);
                                  p.setSize(0, span);
                              }),
                      Status::Refused},
        // The CRC is checked only once libzip has read the entry to its end.
        BadArchiveRow{"data changed in transit",
                      patched({newList(), ZipEntry::stored("a.htm", "good page text")},
                              [](ZipPatch &p) { p.set16(p.data(1), 0x4747); }),
                      Status::Damaged},
        BadArchiveRow{"longer than declared",
                      patched({newList(), ZipEntry::file("zeros", QByteArray(262144, '\0'))},
                              [](ZipPatch &p) { p.setSize(1, 10); }),
                      Status::Damaged},
        BadArchiveRow{"shorter than declared",
                      patched({newList(), ZipEntry::file("zeros", QByteArray(1000, '\0'))},
                              [](ZipPatch &p) { p.setSize(1, 2000); }),
                      Status::Damaged}));

// Where the archive needs a folder, the program folder has a link or a file,
// or a folder where the archive brings a file.
struct ConflictRow
{
    const char *label;
    std::function<void(TempFolder &)> prepare;
    QList<ZipEntry> entries;
};

void PrintTo(const ConflictRow &row, std::ostream *os)
{
    *os << row.label;
}

class DestinationConflict : public Extraction, public ::testing::WithParamInterface<ConflictRow>
{
};

TEST_P(DestinationConflict, IsRefusedAndNothingIsWrittenThroughIt)
{
    const ConflictRow &row = GetParam();
    row.prepare(root);
    const FolderSnapshot before = snapshot(root.path());

    const ExtractionResult result = extract(buildZip(row.entries));

    EXPECT_EQ(result.status, Status::Conflict) << result.message.toStdString();
    EXPECT_EQ(snapshot(root.path()), before);
}

void link(const TempFolder &root, const char *target, const char *name)
{
    root.write(u"elsewhere/keep.txt"_s, "keep");
    if (::symlink(target, QFile::encodeName(root.file(QString::fromLatin1(name))).constData()) != 0)
        qFatal("cannot make link %s", name);
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, DestinationConflict,
    ::testing::Values(
        ConflictRow{"folder is a link to a folder outside",
                    [](TempFolder &root) { link(root, "../elsewhere", "program/pages"); },
                    {newList(), ZipEntry::file("pages/a.htm", "x")}},
        ConflictRow{"deeper folder is a link",
                    [](TempFolder &root) { link(root, "../../elsewhere", "program/mods/dm"); },
                    {newList(), ZipEntry::file("mods/dm/a.htm", "x")}},
        ConflictRow{"folder entry meets a link",
                    [](TempFolder &root) { link(root, "../elsewhere", "program/pages"); },
                    {newList(), ZipEntry::folder("pages/")}},
        ConflictRow{"a file where a folder belongs",
                    [](TempFolder &root) { root.write(u"program/pages"_s, "a file"); },
                    {newList(), ZipEntry::file("pages/a.htm", "x")}},
        ConflictRow{"a folder where a file belongs",
                    [](TempFolder &root) { root.write(u"program/page.htm/inner.txt"_s, "inner"); },
                    {newList(), ZipEntry::file("page.htm", "x")}}));

TEST_F(Extraction, AFailedWriteLeavesTheOldFilesAndNoStaging)
{
    const QByteArray zip = buildZip(
        {newList(), ZipEntry::file("mods/old.htm", "new page"), ZipEntry::file("big.bin", QByteArray(300000, 'b'))});
    const FolderSnapshot before = snapshot(root.path());

    // A file size limit makes the big entry's write fail half-way, like a full disk.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const ExtractionResult result = extract(zip);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result.status, Status::WriteFailed) << result.message.toStdString();
    EXPECT_EQ(snapshot(root.path()), before);
}

// Sets or clears the immutable flag; false where the file system or the
// user's rights do not allow it.
bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

TEST_F(Extraction, AFileThatCannotBeReplacedPutsBackTheFilesReplacedBeforeIt)
{
    root.write(u"program/zz.txt"_s, "old zz");
    const QString locked = root.file(u"program/zz.txt"_s);
    if (!setImmutable(locked, true))
        GTEST_SKIP() << "no immutable files here";
    const FolderSnapshot before = snapshot(root.path());

    const ExtractionResult result =
        extract(buildZip({newList(), ZipEntry::file("mods/new/c.htm", "new c"), ZipEntry::file("zz.txt", "new zz")}));
    setImmutable(locked, false);

    EXPECT_EQ(result.status, Status::WriteFailed) << result.message.toStdString();
    EXPECT_EQ(snapshot(root.path()), before) << "the list replaced first is back, the new folder gone";
}

TEST_F(Extraction, StagingThatACrashLeftBeforeItsJournalIsRemoved)
{
    root.write(u"program/.kml-update/staging/q2modlist.dat"_s, "half");

    ASSERT_TRUE(extract(buildZip({newList()})).ok());

    EXPECT_EQ(root.read(u"program/q2modlist.dat"_s), QByteArray("new list"));
    EXPECT_FALSE(root.exists(u"program/.kml-update"_s));
}

} // namespace
