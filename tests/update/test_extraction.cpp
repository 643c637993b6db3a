#include "update/unzipmod.h"

#include "foldersnapshot.h"
#include "support/tempfolder.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

using Status = ExtractionResult::Status;

const char *statusName(Status status)
{
    switch (status) {
    case Status::Ok:
        return "Ok";
    case Status::CannotOpen:
        return "CannotOpen";
    case Status::NotAnArchive:
        return "NotAnArchive";
    case Status::Damaged:
        return "Damaged";
    case Status::Refused:
        return "Refused";
    case Status::Conflict:
        return "Conflict";
    case Status::WriteFailed:
        return "WriteFailed";
    }
    return "?";
}

// A program folder with a list and a page from an earlier update, and a file
// beside it that no archive may reach.
class Extraction : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root.write(QStringLiteral("outside.txt"), "outside");
        root.write(QStringLiteral("program/q2modlist.dat"), "old list");
        root.write(QStringLiteral("program/mods/old.htm"), "old page");
    }

    QString dest() const { return root.file(QStringLiteral("program")); }
    QString archive() const { return root.file(QStringLiteral("program/tempor.zip")); }
    QString put(const QByteArray &zip) const
    {
        root.write(QStringLiteral("program/tempor.zip"), zip);
        return archive();
    }
    QStringList stagingLeft() const
    {
        return QDir(dest()).entryList({QStringLiteral(".kml-unpack-*")}, QDir::AllEntries | QDir::Hidden);
    }

    TempFolder root;
};

TEST_F(Extraction, UnpacksFoldersReplacesFilesSilentlyAndDeletesTheArchive)
{
    const time_t stamp = QDateTime(QDate(2001, 7, 4), QTime(9, 5, 0)).toSecsSinceEpoch();
    ZipEntry page = ZipEntry::file("mods/a.htm", QByteArray(5000, 'a'));
    page.mtime = stamp;
    put(buildZip({ZipEntry::file("q2modlist.dat", "[ValidHeader]\r\nnew list\r\n"), ZipEntry::folder("mods/"), page,
                  ZipEntry::stored("mods/dm/b.htm", "stored page"), ZipEntry::folder("empty/"),
                  ZipEntry::file("mods/zero.htm", "")}));
    int questions = 0;
    unzipmod bridge;
    bridge.setQuestion([&](const QString &, const QString &) {
        ++questions;
        return unzipmod::Answer::No;
    });

    const ExtractionResult result = bridge.unzip_data(archive(), dest() + QLatin1Char('/'));

    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(result.filesWritten, 4);
    EXPECT_EQ(questions, 0) << "existing files are replaced without asking";
    EXPECT_EQ(root.read(QStringLiteral("program/q2modlist.dat")), QByteArray("[ValidHeader]\r\nnew list\r\n"));
    EXPECT_EQ(root.read(QStringLiteral("program/mods/a.htm")), QByteArray(5000, 'a'));
    EXPECT_EQ(root.read(QStringLiteral("program/mods/dm/b.htm")), QByteArray("stored page"));
    EXPECT_TRUE(root.exists(QStringLiteral("program/mods/zero.htm")));
    EXPECT_TRUE(QFileInfo(root.file(QStringLiteral("program/empty"))).isDir());
    EXPECT_EQ(root.read(QStringLiteral("program/mods/old.htm")), QByteArray("old page"));
    EXPECT_EQ(QFileInfo(root.file(QStringLiteral("program/mods/a.htm"))).lastModified().toSecsSinceEpoch(), stamp);
    EXPECT_FALSE(root.exists(QStringLiteral("program/tempor.zip")));
    EXPECT_TRUE(stagingLeft().isEmpty());
    EXPECT_TRUE(bridge.uz_log().contains(QStringLiteral("  inflating: mods/a.htm\n")));
    EXPECT_TRUE(bridge.uz_log().contains(QStringLiteral(" extracting: mods/dm/b.htm\n")));
}

TEST_F(Extraction, ManyFoldersFitUnderALowOpenFileLimit)
{
    // A desktop's usual soft limit is 1024 open files; an archive needs two per folder.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 2048)
        GTEST_SKIP() << "the hard limit leaves no room to test";
    struct rlimit low = saved;
    low.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);

    QList<ZipEntry> entries;
    for (int i = 0; i < 600; ++i)
        entries.push_back(ZipEntry::file(QStringLiteral("mods/m%1/index.htm").arg(i).toUtf8(), "page"));
    put(buildZip(entries));
    unzipmod bridge;
    const ExtractionResult result = bridge.unzip_data(archive(), dest() + QLatin1Char('/'));
    setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(result.filesWritten, 600);
    EXPECT_EQ(root.read(QStringLiteral("program/mods/m599/index.htm")), QByteArray("page"));
}

TEST_F(Extraction, TheProgramsOwnFilesAreOffLimits)
{
    put(buildZip({ZipEntry::file("q2modlist.dat", "list"), ZipEntry::file("favs.dat", "taken over")}));
    unzipmod bridge;
    bridge.setProtectedNames({QStringLiteral("favs.dat"), QStringLiteral("favs.dat.bak*")});
    const ExtractionResult result = bridge.unzip_data(archive(), dest() + QLatin1Char('/'));
    EXPECT_EQ(result.status, ExtractionResult::Status::Refused);
    EXPECT_FALSE(root.exists(QStringLiteral("program/favs.dat")));
    EXPECT_EQ(root.read(QStringLiteral("program/q2modlist.dat")), QByteArray("old list"))
        << "nothing of a refused archive is written";
}

TEST_F(Extraction, ALinkInTheFolderIsReplacedByTheFileNotFollowed)
{
    ASSERT_EQ(::symlink("../outside.txt", QFile::encodeName(root.file(QStringLiteral("program/link.htm"))).constData()), 0);
    put(buildZip({ZipEntry::file("link.htm", "page")}));
    unzipmod bridge;

    ASSERT_TRUE(bridge.unzip_data(archive(), dest()).ok());

    EXPECT_FALSE(QFileInfo(root.file(QStringLiteral("program/link.htm"))).isSymLink());
    EXPECT_EQ(root.read(QStringLiteral("program/link.htm")), QByteArray("page"));
    EXPECT_EQ(root.read(QStringLiteral("outside.txt")), QByteArray("outside"));
}

// Archives that must leave every file as it was, inside the folder and out,
// and go away all the same.
struct BadArchiveRow
{
    const char *label;
    std::function<QByteArray(const QString &root)> make;
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

TEST_P(BadArchive, ChangesNothingAndIsDeleted)
{
    const BadArchiveRow &row = GetParam();
    put(row.make(root.path()));
    const FolderSnapshot before = snapshot(root.path());
    unzipmod bridge(row.limits);

    const ExtractionResult result = bridge.unzip_data(archive(), dest());

    EXPECT_EQ(statusName(result.status), std::string(statusName(row.expected))) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_TRUE(bridge.uz_log().contains(QStringLiteral("error:")));
    EXPECT_EQ(snapshot(root.path()), without(before, QStringLiteral("program/tempor.zip")));
}

// A good entry first, so that a failure after it shows whether anything landed.
ZipEntry newList()
{
    return ZipEntry::file("q2modlist.dat", "new list");
}

QByteArray patched(QList<ZipEntry> entries, const std::function<void(ZipPatch &)> &patch)
{
    QByteArray zip = buildZip(entries);
    ZipPatch p(zip);
    patch(p);
    return zip;
}

INSTANTIATE_TEST_SUITE_P(
    Archives, BadArchive,
    ::testing::Values(
        BadArchiveRow{"error page instead of a zip",
                      [](const QString &) { return QByteArray("<html><body>404 Not Found</body></html>"); },
                      Status::NotAnArchive},
        BadArchiveRow{"empty file", [](const QString &) { return QByteArray(); }, Status::NotAnArchive},
        BadArchiveRow{"archive cut short",
                      [](const QString &) {
                          const QByteArray zip = buildZip({newList(), ZipEntry::file("mods/a.htm", QByteArray(9000, 'x'))});
                          return zip.left(zip.size() / 2);
                      },
                      Status::NotAnArchive},
        BadArchiveRow{"parent step", [](const QString &) { return buildZip({newList(), ZipEntry::file("../evil.txt", "x")}); },
                      Status::Refused},
        BadArchiveRow{"parent steps inside",
                      [](const QString &) { return buildZip({newList(), ZipEntry::file("mods/../../evil.txt", "x")}); },
                      Status::Refused},
        BadArchiveRow{"absolute path",
                      [](const QString &root) {
                          return buildZip({newList(), ZipEntry::file(QFile::encodeName(root + "/evil.txt"), "x")});
                      },
                      Status::Refused},
        BadArchiveRow{"drive letter", [](const QString &) { return buildZip({newList(), ZipEntry::file("C:/evil.txt", "x")}); },
                      Status::Refused},
        BadArchiveRow{"backslash steps",
                      [](const QString &) { return buildZip({newList(), ZipEntry::file("..\\evil.txt", "x")}); },
                      Status::Refused},
        BadArchiveRow{"empty name", [](const QString &) { return buildZip({newList(), ZipEntry::file("", "x")}); },
                      Status::Refused},
        // Without the UTF-8 flag, bytes below 0x20 are CP437 symbols and land as
        // such; flagged as UTF-8, libzip takes the name for a broken archive.
        BadArchiveRow{"control character",
                      [](const QString &) {
                          return patched({newList(), ZipEntry::file("a\x1b.txt", "x")},
                                         [](ZipPatch &p) { p.addFlags(1, 0x0800); });
                      },
                      Status::Damaged},
        BadArchiveRow{"NUL in the name",
                      [](const QString &) {
                          QByteArray zip = buildZip({newList(), ZipEntry::file("evilX/../../x.txt", "x")});
                          zip.replace("evilX/", QByteArray("evil\0/", 6));
                          return zip;
                      },
                      Status::Refused},
        BadArchiveRow{"link to a folder outside",
                      [](const QString &) { return buildZip({newList(), ZipEntry::symlink("link", "/etc")}); },
                      Status::Refused},
        BadArchiveRow{"file through a link",
                      [](const QString &) {
                          return buildZip({newList(), ZipEntry::symlink("up", ".."), ZipEntry::file("up/evil.txt", "x")});
                      },
                      Status::Refused},
        BadArchiveRow{"named pipe",
                      [](const QString &) {
                          ZipEntry fifo = ZipEntry::stored("pipe", "");
                          fifo.unixMode = S_IFIFO | 0644;
                          return buildZip({newList(), fifo});
                      },
                      Status::Refused},
        BadArchiveRow{"encrypted entry, no password",
                      [](const QString &) {
                          return patched({newList(), ZipEntry::stored("secret.txt", "xxxxxxxxxxxxhidden")},
                                         [](ZipPatch &p) { p.addFlags(1, 1); });
                      },
                      Status::Refused},
        BadArchiveRow{"unknown compression method",
                      [](const QString &) {
                          return patched({newList(), ZipEntry::file("a.htm", "page")}, [](ZipPatch &p) { p.setMethod(1, 18); });
                      },
                      Status::Refused},
        BadArchiveRow{"folder entry with data",
                      [](const QString &) { return buildZip({newList(), ZipEntry::stored("folder/", "data")}); },
                      Status::Refused},
        BadArchiveRow{"one name as file and folder",
                      [](const QString &) {
                          return buildZip({newList(), ZipEntry::file("mods", "x"), ZipEntry::file("mods/a.htm", "y")});
                      },
                      Status::Refused},
        BadArchiveRow{"the staging folder's name",
                      [](const QString &) { return buildZip({newList(), ZipEntry::file(".kml-unpack-abc/a", "x")}); },
                      Status::Refused},
        BadArchiveRow{"more entries than allowed",
                      [](const QString &) {
                          return buildZip({newList(), ZipEntry::file("a", "1"), ZipEntry::file("b", "2")});
                      },
                      Status::Refused, ExtractionLimits{2, quint64(4) << 30, 200, quint64(64) << 20}},
        BadArchiveRow{"declared sizes past the total cap",
                      [](const QString &) {
                          return patched({newList(), ZipEntry::stored("a", "1"), ZipEntry::stored("b", "2")}, [](ZipPatch &p) {
                              p.setSize(1, 0xFFFFFFF0u);
                              p.setSize(2, 0xFFFFFFF0u);
                          });
                      },
                      Status::Refused},
        BadArchiveRow{"unpacks to far more than it holds",
                      [](const QString &) { return buildZip({newList(), ZipEntry::file("zeros", QByteArray(4 << 20, '\0'))}); },
                      Status::Refused, ExtractionLimits{1000, quint64(1) << 30, 50, quint64(1) << 20}},
        // The first entry's data runs on over the second entry, header and all, up
        // to the central directory: each entry lies within the archive, but the
        // second one's bytes are counted twice.
        BadArchiveRow{"overlapping entries",
                      [](const QString &) {
                          return patched({ZipEntry::stored("a", QByteArray(100, 'a')), ZipEntry::stored("b", QByteArray(1000, 'b'))},
                                         [](ZipPatch &p) {
                                             const quint32 span = quint32(p.data(1) + p.compressedSize(1) - p.data(0));
                                             p.setCompressedSize(0, span);
                                             p.setSize(0, span);
                                         });
                      },
                      Status::Refused},
        BadArchiveRow{"broken CRC",
                      [](const QString &) {
                          return patched({newList(), ZipEntry::stored("a.htm", "good page text")}, [](ZipPatch &p) {
                              p.setCrc(1, 0x12345678u);
                          });
                      },
                      Status::Damaged},
        BadArchiveRow{"data changed in transit",
                      [](const QString &) {
                          QByteArray zip = buildZip({newList(), ZipEntry::stored("a.htm", "good page text")});
                          ZipPatch p(zip);
                          zip[p.data(1)] = 'G';
                          return zip;
                      },
                      Status::Damaged},
        BadArchiveRow{"longer than declared",
                      [](const QString &) {
                          return patched({newList(), ZipEntry::file("zeros", QByteArray(262144, '\0'))},
                                         [](ZipPatch &p) { p.setSize(1, 10); });
                      },
                      Status::Damaged},
        BadArchiveRow{"shorter than declared",
                      [](const QString &) {
                          return patched({newList(), ZipEntry::file("zeros", QByteArray(1000, '\0'))},
                                         [](ZipPatch &p) { p.setSize(1, 2000); });
                      },
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
    put(buildZip(row.entries));
    const FolderSnapshot before = snapshot(root.path());
    unzipmod bridge;

    const ExtractionResult result = bridge.unzip_data(archive(), dest());

    EXPECT_EQ(statusName(result.status), std::string("Conflict")) << result.message.toStdString();
    EXPECT_EQ(snapshot(root.path()), without(before, QStringLiteral("program/tempor.zip")));
}

void link(const TempFolder &root, const char *target, const char *name)
{
    root.write(QStringLiteral("elsewhere/keep.txt"), "keep");
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
                    [](TempFolder &root) { root.write(QStringLiteral("program/pages"), "a file"); },
                    {newList(), ZipEntry::file("pages/a.htm", "x")}},
        ConflictRow{"a folder where a file belongs",
                    [](TempFolder &root) { root.write(QStringLiteral("program/page.htm/inner.txt"), "inner"); },
                    {newList(), ZipEntry::file("page.htm", "x")}}));

TEST_F(Extraction, AFailedWriteLeavesTheOldFilesAndNoStaging)
{
    put(buildZip({newList(), ZipEntry::file("mods/old.htm", "new page"), ZipEntry::file("big.bin", QByteArray(300000, 'b'))}));
    const FolderSnapshot before = snapshot(root.path());
    unzipmod bridge;

    // A file size limit makes the big entry's write fail half-way, like a full disk.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const ExtractionResult result = bridge.unzip_data(archive(), dest());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(statusName(result.status), std::string("WriteFailed")) << result.message.toStdString();
    EXPECT_EQ(snapshot(root.path()), without(before, QStringLiteral("program/tempor.zip")));
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
    root.write(QStringLiteral("program/b.txt"), "old b");
    put(buildZip({newList(), ZipEntry::file("mods/new/c.htm", "new c"), ZipEntry::file("b.txt", "new b")}));
    const QString locked = root.file(QStringLiteral("program/b.txt"));
    if (!setImmutable(locked, true))
        GTEST_SKIP() << "no immutable files here";
    const FolderSnapshot before = snapshot(root.path());
    unzipmod bridge;

    const ExtractionResult result = bridge.unzip_data(archive(), dest());
    setImmutable(locked, false);

    EXPECT_EQ(statusName(result.status), std::string("WriteFailed")) << result.message.toStdString();
    EXPECT_EQ(snapshot(root.path()), without(before, QStringLiteral("program/tempor.zip")))
        << "the list replaced first is back, the new folder gone";
}

TEST_F(Extraction, StagingLeftByACrashIsRemovedOnceItIsOld)
{
    root.write(QStringLiteral("program/.kml-unpack-old123/q2modlist.dat"), "half");
    root.write(QStringLiteral("program/.kml-unpack-new123/q2modlist.dat"), "other run");
    const QByteArray old = QFile::encodeName(root.file(QStringLiteral("program/.kml-unpack-old123")));
    const utimbuf twoHoursAgo{time(nullptr) - 7200, time(nullptr) - 7200};
    ASSERT_EQ(utime(old.constData(), &twoHoursAgo), 0);
    put(buildZip({newList()}));
    unzipmod bridge;

    ASSERT_TRUE(bridge.unzip_data(archive(), dest()).ok());

    EXPECT_FALSE(root.exists(QStringLiteral("program/.kml-unpack-old123")));
    EXPECT_TRUE(root.exists(QStringLiteral("program/.kml-unpack-new123/q2modlist.dat")));
}

TEST_F(Extraction, ListingWritesFixedWidthLinesAndNoFile)
{
    const time_t morning = QDateTime(QDate(2001, 7, 4), QTime(9, 5)).toSecsSinceEpoch();
    const time_t evening = QDateTime(QDate(1999, 12, 31), QTime(23, 59)).toSecsSinceEpoch();
    ZipEntry page = ZipEntry::file("mods/page.htm", QByteArray(1234, 'p'));
    page.mtime = morning;
    ZipEntry big = ZipEntry::file(QByteArray(60, 'n'), QByteArray(12345678, '\0'));
    big.mtime = evening;
    put(buildZip({page, big}));
    const FolderSnapshot before = snapshot(root.path());
    unzipmod bridge;
    bridge.setNewline(QStringLiteral("\n"));

    const ExtractionResult result = bridge.unzip_run(archive(), dest(), 0, 1, 1, 1, 0, 0);

    ASSERT_TRUE(result.ok());
    EXPECT_EQ(snapshot(root.path()), before) << "a listing writes nothing";
    const QStringList lines = bridge.uz_listing_text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4);
    const QString header = QStringLiteral("Filename:") + QString(43, QLatin1Char(' ')) + QStringLiteral("Size") +
                           QString(5, QLatin1Char(' ')) + QStringLiteral("Date") + QString(5, QLatin1Char(' ')) +
                           QStringLiteral("Time") + QString(6, QLatin1Char(' '));
    EXPECT_EQ(lines[0], header);
    EXPECT_EQ(lines[1], QStringLiteral("mods/page.htm").leftJustified(50) + QStringLiteral("   1234   4/07/01   9:05") +
                            QString(6, QLatin1Char(' ')));
    EXPECT_EQ(lines[2], QString(50, QLatin1Char('n')) + QStringLiteral(" 12056K  31/12/99  23:59") +
                            QString(6, QLatin1Char(' ')));
    EXPECT_EQ(lines[3], QString());
    EXPECT_EQ(bridge.uz_listing_count(), 2);

    // The count goes on until a reset; then a new listing replaces the old.
    bridge.resetListing();
    ASSERT_TRUE(bridge.unzip_run(archive(), dest(), 0, 1, 1, 1, 0, 0).ok());
    EXPECT_EQ(bridge.uz_listing_text().count(QStringLiteral("Filename:")), 1);
}

TEST_F(Extraction, AskingBeforeReplacingHonoursEachAnswer)
{
    root.write(QStringLiteral("program/a.txt"), "old a");
    root.write(QStringLiteral("program/b.txt"), "old b");
    root.write(QStringLiteral("program/c.txt"), "old c");
    root.write(QStringLiteral("program/d.txt"), "old d");
    const QByteArray zip = buildZip({ZipEntry::file("a.txt", "new a"), ZipEntry::file("b.txt", "new b"),
                                     ZipEntry::file("c.txt", "new c"), ZipEntry::file("d.txt", "new d"),
                                     ZipEntry::file("e.txt", "new e")});
    put(zip);
    QStringList asked;
    QList<unzipmod::Answer> answers{unzipmod::Answer::Yes, unzipmod::Answer::No, unzipmod::Answer::Cancel};
    unzipmod bridge;
    bridge.setQuestion([&](const QString &title, const QString &text) {
        asked << title + QLatin1Char('|') + text;
        return answers.takeFirst();
    });

    ASSERT_TRUE(bridge.unzip_run(archive(), dest(), 1, 0, 0, 1, 0, 0).ok());

    EXPECT_EQ(asked, (QStringList{QStringLiteral("Packwell - File already exists|Overwrite a.txt?"),
                                  QStringLiteral("Packwell - File already exists|Overwrite b.txt?"),
                                  QStringLiteral("Packwell - File already exists|Overwrite c.txt?")}))
        << "Cancel declines the rest without asking again";
    EXPECT_EQ(root.read(QStringLiteral("program/a.txt")), QByteArray("new a"));
    EXPECT_EQ(root.read(QStringLiteral("program/b.txt")), QByteArray("old b"));
    EXPECT_EQ(root.read(QStringLiteral("program/c.txt")), QByteArray("old c"));
    EXPECT_EQ(root.read(QStringLiteral("program/d.txt")), QByteArray("old d"));
    EXPECT_EQ(root.read(QStringLiteral("program/e.txt")), QByteArray("new e"));

    // Neither asking nor overwriting: existing files stay, new ones land.
    root.write(QStringLiteral("program/e.txt"), "old e");
    root.write(QStringLiteral("program/tempor.zip"), zip);
    ASSERT_TRUE(bridge.unzip_run(archive(), dest(), 0, 0, 0, 1, 0, 0).ok());
    EXPECT_EQ(root.read(QStringLiteral("program/e.txt")), QByteArray("old e"));
    EXPECT_EQ(asked.size(), 3);
}

TEST_F(Extraction, NamePatternsAndFlatPathsChooseWhatLands)
{
    put(buildZip({newList(), ZipEntry::file("mods/a.htm", "a"), ZipEntry::file("mods/dm/b.htm", "b"),
                  ZipEntry::file("mods/c.txt", "c")}));
    unzipmod bridge;
    bridge.uz_include()[0] = QStringLiteral("mods/*");
    bridge.uz_exclude()[0] = QStringLiteral("*.txt");

    ASSERT_TRUE(bridge.unzip_run(archive(), dest(), 0, 1, 0, 0, 1, 1).ok());

    EXPECT_EQ(root.read(QStringLiteral("program/a.htm")), QByteArray("a"));
    EXPECT_EQ(root.read(QStringLiteral("program/b.htm")), QByteArray("b"));
    EXPECT_FALSE(root.exists(QStringLiteral("program/c.txt")));
    EXPECT_EQ(root.read(QStringLiteral("program/q2modlist.dat")), QByteArray("old list"));
    EXPECT_FALSE(root.exists(QStringLiteral("program/mods/a.htm")));
}

// Callbacks that supply a password, as a caller that asks the user would.
class PasswordCallbacks final : public ExtractionCallbacks
{
public:
    explicit PasswordCallbacks(QByteArray password) : m_password(std::move(password)) {}
    void print(QByteArrayView) override {}
    int replace(QByteArrayView) override { return kReplaceNo; }
    QByteArray password(QByteArrayView, QByteArrayView) override { return m_password; }
    void listing(const ListingEntry &) override {}

private:
    QByteArray m_password;
};

TEST_F(Extraction, EncryptedEntriesNeedTheirPassword)
{
    if (!zip_encryption_method_supported(ZIP_EM_AES_256, 1))
        GTEST_SKIP() << "this libzip cannot encrypt";
    ZipEntry secret = ZipEntry::file("secret.txt", "hidden text");
    secret.aesPassword = "opensesame";
    const QByteArray zip = buildZip({secret});

    put(zip);
    unzipmod bridge;
    EXPECT_EQ(statusName(bridge.unzip_data(archive(), dest()).status), std::string("Refused"))
        << "the bridge supplies no password";
    EXPECT_FALSE(root.exists(QStringLiteral("program/secret.txt")));

    const ArchiveExtractor extractor;
    PasswordCallbacks wrong("guess");
    put(zip);
    EXPECT_EQ(statusName(extractor.run(archive(), dest(), {}, wrong).status), std::string("Damaged"));
    EXPECT_FALSE(root.exists(QStringLiteral("program/secret.txt")));

    PasswordCallbacks right("opensesame");
    ASSERT_TRUE(extractor.run(archive(), dest(), {}, right).ok());
    EXPECT_EQ(root.read(QStringLiteral("program/secret.txt")), QByteArray("hidden text"));
}

} // namespace
