#include "update/listupdate.h"
#include "update/networkfetcher.h"

#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakefetcher.h"
#include "foldersnapshot.h"
#include "support/tempfolder.h"
#include "testhttpserver.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
using End = ListUpdate::Outcome::End;
using Step = ListUpdate::Step;
using Answer = FakeFetcher::Answer;

const QDate kToday(1999, 7, 4);
const QString kAsk = u"ask Connection Error|Error encounter while transferring data from server. "
                     u"Press 'Ok' to retry or 'Cancel' to exit."_s;
const QString kSuccess = u"inform Mod List|Mod List updated successfully."_s;

const QString kServer = u"http://listserver.test"_s;
const QString kArchiveUrl = kServer + u"/kestrelmoor/modlist/q2modlist.zip"_s;
const QString kCatalogueUrl = kServer + u"/kestrelmoor/modlist/mods.dat"_s;

const QByteArray kOldCatalogue = crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "old archive address",
                                            "q2modlist", "welcome.htm", "Quake3", "q3modlist.dat",
                                            "old archive address", "q3modlist", "welcome.htm"});
const QByteArray kNewList = crlfLines({"[ValidHeader]", "Deathmatch", "Arena pack", "http://pages.test/arena.htm"});
const QByteArray kLeftover("left by a broken run");

// The new catalogue names the Quake 2 archive at `archiveUrl`.
QByteArray newCatalogue(const QString &archiveUrl = kArchiveUrl)
{
    return "[ValidHeader]\r\nQuake2\r\nq2modlist.dat\r\n" + archiveUrl.toUtf8() + "\r\nq2modlist\r\nstart.htm\r\n";
}

QByteArray goodArchive()
{
    return buildZip({ZipEntry::file("q2modlist.dat", kNewList), ZipEntry::folder("mods/"),
                     ZipEntry::file("mods/arena.htm", "<html>arena</html>"),
                     ZipEntry::stored("mods/dm/rail.htm", "<html>rail</html>")});
}

// A program folder after an earlier update and an earlier broken one.
void prepareProgramFolder(const TempFolder &program)
{
    program.write(u"mods.dat"_s, kOldCatalogue);
    program.write(u"q2modlist.dat"_s, "old list");
    program.write(u"mods/old.htm"_s, "old page");
    program.write(u"tempor.zip"_s, kLeftover);
}

// The same folder before and after a successful update, without tempor.zip.
const FolderSnapshot kOldFolder{{u"mods.dat"_s, kOldCatalogue},
                                {u"q2modlist.dat"_s, "old list"},
                                {u"mods"_s, "<folder>"},
                                {u"mods/old.htm"_s, "old page"}};
FolderSnapshot updatedFolder(const QString &archiveUrl = kArchiveUrl)
{
    return {{u"mods.dat"_s, newCatalogue(archiveUrl)},
            {u"q2modlist.dat"_s, kNewList},
            {u"mods"_s, "<folder>"},
            {u"mods/old.htm"_s, "old page"},
            {u"mods/arena.htm"_s, "<html>arena</html>"},
            {u"mods/dm"_s, "<folder>"},
            {u"mods/dm/rail.htm"_s, "<html>rail</html>"}};
}

ModListEntry quake2(const QString &server)
{
    return ModListEntry{u"Quake2"_s, u"q2modlist.dat"_s, server + u"/kestrelmoor/modlist/q2modlist.zip"_s,
                        u"q2modlist"_s, u"welcome.htm"_s};
}

// Records what the update does to the window, and answers its questions from
// a queue (Cancel when the queue is empty).
struct WindowRecorder
{
    QStringList events;
    QStringList details;  // of each question
    QList<bool> retryAnswers;
    std::function<void()> whileBusy;
    std::function<void(Step, qint64 total)> onProgress;

    ListUpdateHooks hooks()
    {
        ListUpdateHooks h;
        h.setButtonEnabled = [this](bool on) { events << (on ? u"button on"_s : u"button off"_s); };
        h.setBusy = [this](bool busy) {
            events << (busy ? u"busy pointer"_s : u"normal pointer"_s);
            if (busy && whileBusy)
                whileBusy();
        };
        h.askRetry = [this](const QString &title, const QString &text, const QString &why) {
            events << u"ask "_s + title + u'|' + text;
            details << why;
            return !retryAnswers.isEmpty() && retryAnswers.takeFirst();
        };
        h.setUpdatedLabel = [this](const QString &text) { events << u"label "_s + text; };
        h.rebuildTree = [this] { events << u"tree"_s; };
        h.inform = [this](const QString &title, const QString &text) { events << u"inform "_s + title + u'|' + text; };
        h.progress = [this](Step step, qint64, qint64 total) {
            if (onProgress)
                onProgress(step, total);
        };
        return h;
    }
};

// The update of the list Quake2 in a program folder that a test looks at
// afterwards. The fake fetcher answers as the test says.
class Procedure : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prepareProgramFolder(program);
        settings.setValue(u"q3modlist"_s, Options::kSection, Options::kUpdate, u"01-01-2000"_s);
    }

    ListUpdate::Outcome runUpdate(HttpFetcher &through, const QString &server = kServer)
    {
        ListUpdate update(program.path(), server, settings, through, window.hooks());
        update.setToday([] { return kToday; });
        // Within a step (its start is heard with no total).
        window.onProgress = [&](Step step, qint64 total) {
            if (cancelAt == step && total >= 0)
                update.cancel();
        };
        fetcher.whileFetching = [&](const QString &url) {
            if ((cancelAt == Step::FetchCatalogue && url == kCatalogueUrl) ||
                (cancelAt == Step::FetchArchive && url == kArchiveUrl))
                update.cancel();
        };
        const ListUpdate::Outcome outcome = update.run(quake2(server));
        lastError = update.lastError();
        return outcome;
    }

    QString stamp(const QString &list) const
    {
        return settings.value(list, Options::kSection, Options::kUpdate, u"never"_s);
    }

    TempFolder program;
    MemorySettingsStore settings;
    FakeFetcher fetcher;
    WindowRecorder window;
    QString lastError;
    std::optional<Step> cancelAt;  // where the progress dialog's Cancel is pressed
};

// The whole road over real HTTP, against a server in this process: a first
// update, one with nothing new (two requests answered 304), an archive that
// is refused, and one whose list file went missing in between.
TEST_F(Procedure, OverHttpOnlyTheCopyInPlaceIsNamedToTheServer)
{
    TestHttpServer server;
    const QByteArray archivePath = "/kestrelmoor/modlist/q2modlist.zip";
    const QByteArray cataloguePath = "/kestrelmoor/modlist/mods.dat";
    const QString archiveUrl = server.url(archivePath);
    server.route(archivePath, {TestHttpServer::Answer::tagged(goodArchive(), "\"a1\"")});
    server.route(cataloguePath, {TestHttpServer::Answer::tagged(newCatalogue(archiveUrl), {}, "Sun, 04 Jul 1999 10:00:00 GMT")});
    NetworkFetcher::Settings quick;
    quick.stallTimeout = std::chrono::milliseconds(1000);
    NetworkFetcher network(quick);
    const auto files = [&] {
        FolderSnapshot now = snapshot(program.path());
        now.remove(u".kml-validators"_s);
        return now;
    };

    ListUpdate::Outcome outcome = runUpdate(network, server.base());
    EXPECT_EQ(outcome.end, End::Updated) << lastError.toStdString();
    EXPECT_FALSE(outcome.unchanged);
    EXPECT_EQ(window.events, (QStringList{u"button off"_s, u"busy pointer"_s, u"normal pointer"_s,
                                          u"label updated: 07-04-1999"_s, u"tree"_s, u"button on"_s, kSuccess}));
    EXPECT_EQ(files(), updatedFolder(archiveUrl)) << "a longer old catalogue leaves no tail, tempor.zip is gone";
    EXPECT_EQ(stamp(u"q2modlist"_s), u"07-04-1999"_s);
    EXPECT_EQ(stamp(u"q3modlist"_s), u"01-01-2000"_s) << "only the current list's date changes";

    settings.setValue(u"q2modlist"_s, Options::kSection, Options::kUpdate, u"01-01-1999"_s);
    outcome = runUpdate(network, server.base());
    EXPECT_EQ(outcome.end, End::Updated) << lastError.toStdString();
    EXPECT_TRUE(outcome.unchanged);
    EXPECT_EQ(server.lastHeader(archivePath, "If-None-Match"), "\"a1\"");
    EXPECT_EQ(server.lastHeader(cataloguePath, "If-Modified-Since"), "Sun, 04 Jul 1999 10:00:00 GMT");
    EXPECT_EQ(files(), updatedFolder(archiveUrl));
    EXPECT_EQ(stamp(u"q2modlist"_s), u"07-04-1999"_s) << "an unchanged list is stamped as updated";
    EXPECT_EQ(window.events.count(kSuccess), 2);

    // Refused: its tag must not be the one sent next time.
    server.route(archivePath, {TestHttpServer::Answer::tagged("<html>Not Found</html>", "\"a2\"")});
    EXPECT_EQ(runUpdate(network, server.base()).end, End::Cancelled);
    server.route(archivePath, {TestHttpServer::Answer::tagged(goodArchive(), "\"a3\"")});
    EXPECT_EQ(runUpdate(network, server.base()).end, End::Updated) << lastError.toStdString();
    EXPECT_EQ(server.lastHeader(archivePath, "If-None-Match"), "\"a1\"");

    program.write(u"q2modlist.dat"_s, "edited by hand");
    EXPECT_EQ(runUpdate(network, server.base()).end, End::Updated) << lastError.toStdString();
    EXPECT_EQ(server.lastHeader(archivePath, "If-None-Match"), "") << "the copy in place is not the one fetched";
    EXPECT_EQ(files(), updatedFolder(archiveUrl));
}

TEST_F(Procedure, RetryAfterAFailedFetchRepeatsThatFetchOnly)
{
    fetcher.answer(kCatalogueUrl, {Answer::failed(), Answer::failed(), Answer::good(newCatalogue())});
    fetcher.answer(kArchiveUrl, {Answer::failed(), Answer::good(goodArchive())});
    window.retryAnswers = {true, true, true};

    const ListUpdate::Outcome outcome = runUpdate(fetcher);

    EXPECT_EQ(outcome.end, End::Updated);
    EXPECT_EQ(outcome.failures, 3);
    EXPECT_EQ(fetcher.order, (QStringList{kCatalogueUrl, kCatalogueUrl, kCatalogueUrl, kArchiveUrl, kArchiveUrl}));
    // The pointer stays normal after the first failure.
    EXPECT_EQ(window.events, (QStringList{u"button off"_s, u"busy pointer"_s, u"normal pointer"_s, kAsk, kAsk, kAsk,
                                          u"label updated: 07-04-1999"_s, u"tree"_s, u"button on"_s, kSuccess}));
    EXPECT_EQ(snapshot(program.path()), updatedFolder());
}

TEST_F(Procedure, RetryAfterAFailedUnpackingFetchesTheArchiveAgain)
{
    fetcher.answer(kCatalogueUrl, {Answer::good(newCatalogue())});
    fetcher.answer(kArchiveUrl, {Answer::good("<html>busy, try later</html>"), Answer::good(goodArchive())});
    window.retryAnswers = {true};

    EXPECT_EQ(runUpdate(fetcher).end, End::Updated);
    EXPECT_EQ(fetcher.order, (QStringList{kCatalogueUrl, kArchiveUrl, kArchiveUrl}));
    EXPECT_EQ(window.events.count(kAsk), 1);
    EXPECT_EQ(snapshot(program.path()), updatedFolder());
}

// The old catalogue's address is gone; the new catalogue names the archive's new place.
TEST_F(Procedure, TheArchiveIsFetchedFromWhereTheNewCatalogueSaysItIs)
{
    const QString moved = kServer + u"/elsewhere/q2modlist.zip"_s;
    fetcher.answer(kCatalogueUrl, {Answer::good(newCatalogue(moved))});
    fetcher.answer(moved, {Answer::good(goodArchive())});

    EXPECT_EQ(runUpdate(fetcher).end, End::Updated);
    EXPECT_EQ(fetcher.order, (QStringList{kCatalogueUrl, moved}));
    EXPECT_EQ(snapshot(program.path()), updatedFolder(moved));
}

TEST_F(Procedure, ASecondRunWhileOneIsGoingOnIsTurnedAway)
{
    fetcher.answer(kCatalogueUrl, {Answer::good(newCatalogue())});
    fetcher.answer(kArchiveUrl, {Answer::good(goodArchive())});
    ListUpdate update(program.path(), kServer, settings, fetcher, window.hooks());
    ListUpdate::Outcome inner;
    window.whileBusy = [&] { inner = update.run(quake2(kServer)); };

    EXPECT_EQ(update.run(quake2(kServer)).end, End::Updated);
    EXPECT_EQ(inner.end, End::AlreadyRunning);
    EXPECT_EQ(fetcher.order.size(), 2);
    EXPECT_EQ(update.run(quake2(kServer)).end, End::Updated) << "the update runs again once it has ended";
}

// Cancel, at the question after a failed step or in the progress dialog while
// a step runs: the folder is wholly old (or, past putting the files in place,
// wholly new) and nothing is left behind.
struct CancelRow
{
    const char *label;
    QList<Answer> catalogue;
    QList<Answer> archive;
    Step endsAt;
    std::optional<Step> cancelAt = {};  // the progress dialog's Cancel; else the question's
    const char *detail = "";            // in the question's details
    bool settingsWritable = true;
    End end = End::Cancelled;
};

void PrintTo(const CancelRow &row, std::ostream *os)
{
    *os << row.label;
}

class CancelAt : public Procedure, public ::testing::WithParamInterface<CancelRow>
{
};

TEST_P(CancelAt, LeavesTheOldListOrTheWholeNewOne)
{
    const CancelRow &row = GetParam();
    fetcher.answer(kCatalogueUrl, row.catalogue);
    fetcher.answer(kArchiveUrl, row.archive);
    settings.setWritable(row.settingsWritable);
    cancelAt = row.cancelAt;

    const ListUpdate::Outcome outcome = runUpdate(fetcher);

    EXPECT_EQ(outcome.end, row.end) << lastError.toStdString();
    const bool newFiles = row.end == End::Updated || row.endsAt == Step::StampDate;
    EXPECT_EQ(snapshot(program.path()), newFiles ? updatedFolder() : kOldFolder) << "no tempor.zip, no staging";
    if (row.end == End::Updated)
        return;
    EXPECT_EQ(int(outcome.cancelledAt), int(row.endsAt));
    EXPECT_EQ(stamp(u"q2modlist"_s), u"never"_s);
    EXPECT_EQ(stamp(u"q3modlist"_s), u"01-01-2000"_s);
    if (row.cancelAt) {
        EXPECT_EQ(window.events, (QStringList{u"button off"_s, u"busy pointer"_s, u"normal pointer"_s, u"button on"_s}))
            << "no question, no label, no tree, no success message";
    } else {
        EXPECT_EQ(window.events, (QStringList{u"button off"_s, u"busy pointer"_s, u"normal pointer"_s, kAsk, u"button on"_s}));
        EXPECT_TRUE(window.details.value(0).contains(QString::fromUtf8(row.detail))) << window.details.value(0).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CancelAt,
    ::testing::Values(
        CancelRow{"catalogue fetch fails", {Answer::failed()}, {Answer::good(goodArchive())}, Step::FetchCatalogue, {},
                  "Address: http://listserver.test/kestrelmoor/modlist/mods.dat"},
        CancelRow{"catalogue is an error page", {Answer::good("<html>Service Unavailable</html>")},
                  {Answer::good(goodArchive())}, Step::FetchCatalogue, {}, "no list catalogue"},
        CancelRow{"archive fetch fails", {Answer::good(newCatalogue())}, {Answer::failed()}, Step::FetchArchive, {},
                  "Address: http://listserver.test/kestrelmoor/modlist/q2modlist.zip"},
        // The new catalogue waits for the archive: it never stands beside the old list.
        CancelRow{"archive is an error page", {Answer::good(newCatalogue())}, {Answer::good("<html>Not Found</html>")},
                  Step::Unpack, {}, "no zip archive"},
        CancelRow{"date cannot be saved", {Answer::good(newCatalogue())}, {Answer::good(goodArchive())},
                  Step::StampDate, {}, "settings", false},
        CancelRow{"Cancel while the catalogue is fetched", {Answer::good(newCatalogue())}, {Answer::good(goodArchive())},
                  Step::FetchCatalogue, Step::FetchCatalogue},
        CancelRow{"Cancel while the archive is fetched", {Answer::good(newCatalogue())}, {Answer::good(goodArchive())},
                  Step::FetchArchive, Step::FetchArchive},
        CancelRow{"Cancel while the archive is unpacked", {Answer::good(newCatalogue())}, {Answer::good(goodArchive())},
                  Step::Unpack, Step::Unpack},
        CancelRow{"Cancel once the files go in place comes too late", {Answer::good(newCatalogue())},
                  {Answer::good(goodArchive())}, Step::Commit, Step::Commit, "", true, End::Updated}));

} // namespace
