#include "update/listupdate.h"
#include "update/networkfetcher.h"

#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakefetcher.h"
#include "support/tempfolder.h"
#include "support/testhttpserver.h"
#include "updatetest.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <QTest>

namespace {

using namespace Qt::StringLiterals;
using End = ListUpdate::Outcome::End;
using Step = ListUpdate::Step;
using Answer = FakeFetcher::Answer;

const QString kAsk = u"ask Connection Error"_s;
const QStringList kStart{u"button off"_s, u"busy pointer"_s, u"normal pointer"_s};
const QStringList kUpdated{u"label updated: 07-04-1999"_s, u"tree"_s, u"button on"_s, u"inform Mod List"_s};

const QString kServer = u"http://listserver.test"_s;
const QString kArchiveUrl = kServer + u"/kestrelmoor/modlist/q2modlist.zip"_s;
const QString kCatalogueUrl = kServer + u"/kestrelmoor/modlist/mods.dat"_s;

const QByteArray kOldCatalogue = crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "old archive address", "q2modlist",
                                            "welcome.htm", "Quake3", "q3modlist.dat", "old archive address", "q3modlist",
                                            "welcome.htm"});
const QByteArray kNewList = crlfLines({"[ValidHeader]", "Deathmatch", "Arena pack", "http://pages.test/arena.htm"});

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

// The program folder after an earlier update, and after a successful one.
const FolderSnapshot kOldFolder{
    {u"mods.dat"_s, kOldCatalogue}, {u"q2modlist.dat"_s, "old list"}, {u"mods"_s, "<folder>"}, {u"mods/old.htm"_s, "old page"}};
FolderSnapshot updatedFolder(const QString &archiveUrl = kArchiveUrl)
{
    return {{u"mods.dat"_s, newCatalogue(archiveUrl)}, {u"q2modlist.dat"_s, kNewList}, {u"mods"_s, "<folder>"},
            {u"mods/old.htm"_s, "old page"}, {u"mods/arena.htm"_s, "<html>arena</html>"}, {u"mods/dm"_s, "<folder>"},
            {u"mods/dm/rail.htm"_s, "<html>rail</html>"}};
}

// The update of the list Quake2 in a program folder with the tempor.zip of an earlier broken run, through the fake
// fetcher unless a test says otherwise. It records what the update does to the window, answers its questions from a
// queue (Cancel when it is empty) and presses the progress dialog's Cancel within the step `cancelAt`.
class Procedure : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (auto it = kOldFolder.cbegin(); it != kOldFolder.cend(); ++it) {
            if (it.value() != "<folder>")
                program.write(it.key(), it.value());
        }
        program.write(u"tempor.zip"_s, "left by a broken run");
        settings.setValue(u"q3modlist"_s, Options::kSection, Options::kUpdateDate, u"01-01-2000"_s);
        use(fetcher);
    }

    void use(HttpFetcher &through, const QString &listServer = kServer)
    {
        ListUpdateHooks hooks;
        hooks.setButtonEnabled = [this](bool on) { events << (on ? u"button on"_s : u"button off"_s); };
        hooks.setBusy = [this](bool busy) {
            events << (busy ? u"busy pointer"_s : u"normal pointer"_s);
            if (busy && whileBusy)
                whileBusy();
        };
        hooks.askRetry = [this](const QString &title, const QString &, const QString &why) {
            events << u"ask "_s + title;
            details << why;
            return !retryAnswers.isEmpty() && retryAnswers.takeFirst();
        };
        hooks.setUpdatedLabel = [this](const QString &text) { events << u"label "_s + text; };
        hooks.rebuildTree = [this] { events << u"tree"_s; };
        hooks.inform = [this](const QString &title, const QString &text, const QString &, bool warning) {
            events << u"inform "_s + title + (warning ? u" warning"_s : QString());
            informed << text;
        };
        // The start of a step is heard with no total; a fetch's total comes from within the fetch.
        hooks.progress = [this](Step step, qint64, qint64 total) {
            if (cancelAt == step && total >= 0)
                update->cancel();
        };
        update.emplace(program.path(), listServer, settings, through, hooks);
        update->setToday([] { return QDate(1999, 7, 4); });
        server = listServer;
    }

    ModListEntry quake2() const
    {
        return {u"Quake2"_s, u"q2modlist.dat"_s, server + u"/kestrelmoor/modlist/q2modlist.zip"_s, u"q2modlist"_s,
                u"welcome.htm"_s};
    }
    ListUpdate::Outcome runUpdate()
    {
        std::optional<ListUpdate::Outcome> outcome;
        const auto connection = QObject::connect(&*update, &ListUpdate::finished,
                                                 [&](const ListUpdate::Outcome &ended) { outcome = ended; });
        EXPECT_TRUE(update->start(quake2()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 120000));
        QObject::disconnect(connection);
        return outcome.value_or(ListUpdate::Outcome{});
    }
    std::string error() const { return update->lastError().toStdString(); }
    QString stamp(const QString &list) const { return settings.value(list, Options::kSection, Options::kUpdateDate, u"never"_s); }

    TempFolder program;
    MemorySettingsStore settings;
    FakeFetcher fetcher;
    std::optional<ListUpdate> update;
    QString server;
    QStringList events;
    QStringList details;  // of each question
    QStringList informed; // the texts of the notices
    QList<bool> retryAnswers;
    std::function<void()> whileBusy;
    std::optional<Step> cancelAt;
};

// Real HTTP against a server in this process: a first update, one with nothing new (two requests answered 304), an
// archive that is refused, and one whose list file was edited in between. The program folder holds the validators.
TEST_F(Procedure, OverHttpOnlyTheCopyInPlaceIsNamedToTheServer)
{
    TestHttpServer http;
    const QByteArray archivePath = "/kestrelmoor/modlist/q2modlist.zip", cataloguePath = "/kestrelmoor/modlist/mods.dat";
    const QByteArray date = "Sun, 04 Jul 1999 10:00:00 GMT";
    const QString archiveUrl = http.url(archivePath);
    http.route(archivePath, {.body = goodArchive(), .etag = "\"a1\""});
    http.route(cataloguePath, {.body = newCatalogue(archiveUrl), .lastModified = date});
    NetworkFetcher network(NetworkFetcher::Settings{.stallTimeout = std::chrono::milliseconds(1000)});
    use(network, http.base());

    const ListUpdate::Outcome first = runUpdate();
    EXPECT_EQ(first.end, End::Updated) << error();
    EXPECT_FALSE(first.unchanged);
    settings.setValue(u"q2modlist"_s, Options::kSection, Options::kUpdateDate, u"01-01-1999"_s);
    const ListUpdate::Outcome second = runUpdate();
    EXPECT_EQ(second.end, End::Updated) << "the same update runs again once it has ended; " << error();
    EXPECT_TRUE(second.unchanged);
    EXPECT_EQ(http.lastHeader(archivePath, "If-None-Match"), "\"a1\"");
    EXPECT_EQ(http.lastHeader(cataloguePath, "If-Modified-Since"), date);
    EXPECT_EQ(stamp(u"q2modlist"_s), u"07-04-1999"_s) << "an unchanged list is stamped as updated";
    EXPECT_EQ(events, kStart + kUpdated + kStart + kUpdated);
    EXPECT_EQ(informed, (QStringList{u"Mod List updated successfully."_s, u"Mod List is up to date."_s}));

    // Refused: its tag must not be the one sent next time.
    http.route(archivePath, {.body = "<html>Not Found</html>", .etag = "\"a2\""});
    EXPECT_EQ(runUpdate().end, End::Cancelled);
    http.route(archivePath, {.body = goodArchive(), .etag = "\"a3\""});
    EXPECT_EQ(runUpdate().end, End::Updated) << error();
    EXPECT_EQ(http.lastHeader(archivePath, "If-None-Match"), "\"a1\"");

    program.write(u"q2modlist.dat"_s, "edited by hand");
    EXPECT_EQ(runUpdate().end, End::Updated) << error();
    EXPECT_EQ(http.lastHeader(archivePath, "If-None-Match"), "") << "the copy in place is not the one fetched";
    FolderSnapshot files = snapshot(program.path());
    files.remove(u".kml-validators"_s);
    EXPECT_EQ(files, updatedFolder(archiveUrl));
}

// A retry after a failed fetch repeats that fetch only; one after a failed unpacking fetches the archive again, from
// where the new catalogue says it now is. The pointer stays normal after the first failure, and a second run started
// meanwhile (the tray, the remote control) is turned away.
TEST_F(Procedure, RetryRepeatsTheFailedFetchAndFetchesTheArchiveAgainAfterAFailedUnpacking)
{
    const QString moved = kServer + u"/elsewhere/q2modlist.zip"_s;
    fetcher.answer(kCatalogueUrl, {Answer::failed(), Answer::failed(), Answer::good(newCatalogue(moved))});
    fetcher.answer(moved, {Answer::failed(), Answer::good("<html>busy, try later</html>"), Answer::good(goodArchive())});
    retryAnswers = {true, true, true, true};
    std::optional<bool> innerStarted;
    whileBusy = [&] { innerStarted = update->start(quake2()); };

    const ListUpdate::Outcome outcome = runUpdate();

    EXPECT_EQ(outcome.end, End::Updated) << error();
    EXPECT_EQ(outcome.failures, 4);
    EXPECT_EQ(innerStarted, false);
    EXPECT_EQ(fetcher.order, (QStringList{kCatalogueUrl, kCatalogueUrl, kCatalogueUrl, moved, moved, moved}));
    EXPECT_EQ(events, kStart + QStringList(4, kAsk) + kUpdated);
    EXPECT_EQ(snapshot(program.path()), updatedFolder(moved));
}

// Cancel, at the question after a failed step or in the progress dialog while a step runs: the folder is wholly old
// (or, past putting the files in place, wholly new) and nothing is left behind.
struct CancelRow
{
    const char *label;
    QByteArray catalogue;  // answered to its fetch; empty: the fetch fails
    QByteArray archive;
    Step endsAt;
    std::optional<Step> cancelAt = {};  // the progress dialog's Cancel; else the question's
    const char *detail = "";            // in the question's details
    bool settingsWritable = true;
    End end = End::Cancelled;
};

void PrintTo(const CancelRow &row, std::ostream *os) { *os << row.label; }

class CancelAt : public Procedure, public ::testing::WithParamInterface<CancelRow> {};

TEST_P(CancelAt, LeavesTheOldListOrTheWholeNewOne)
{
    const CancelRow &row = GetParam();
    for (const auto &[url, body] : {std::pair(kCatalogueUrl, row.catalogue), std::pair(kArchiveUrl, row.archive)})
        fetcher.answer(url, {body.isEmpty() ? Answer::failed() : Answer::good(body)});
    settings.setWritable(row.settingsWritable);
    cancelAt = row.cancelAt;

    const ListUpdate::Outcome outcome = runUpdate();

    EXPECT_EQ(outcome.end, row.end) << error();
    const bool newFiles = row.end == End::Updated || row.endsAt == Step::StampDate;
    EXPECT_EQ(snapshot(program.path()), newFiles ? updatedFolder() : kOldFolder) << "no tempor.zip, no staging";
    EXPECT_EQ(stamp(u"q2modlist"_s), row.end == End::Updated && row.settingsWritable ? u"07-04-1999"_s : u"never"_s);
    EXPECT_EQ(stamp(u"q3modlist"_s), u"01-01-2000"_s) << "only the current list's date changes";
    if (row.end == End::Updated) {
        // The list is in place: a date that cannot be saved is a warning beside the success, and the tree is rebuilt.
        EXPECT_EQ(outcome.warning.isEmpty(), row.settingsWritable);
        EXPECT_TRUE(events.contains(u"tree"_s));
        EXPECT_EQ(events.last(), row.settingsWritable ? u"inform Mod List"_s : u"inform Mod List warning"_s);
        EXPECT_TRUE(informed.value(0).startsWith(u"Mod List updated successfully."_s)) << informed.value(0).toStdString();
        return;
    }
    EXPECT_EQ(int(outcome.cancelledAt), int(row.endsAt));
    // Cancelled in the progress dialog: no question, no label, no tree, no success message.
    EXPECT_EQ(events, kStart + (row.cancelAt ? QStringList{} : QStringList{kAsk}) + QStringList{u"button on"_s});
    EXPECT_TRUE(details.value(0).contains(QString::fromUtf8(row.detail))) << details.value(0).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CancelAt,
    ::testing::Values(
        CancelRow{"catalogue fetch fails", {}, goodArchive(), Step::FetchCatalogue, {},
                  "Address: http://listserver.test/kestrelmoor/modlist/mods.dat"},
        CancelRow{"catalogue is an error page", "<html>Service Unavailable</html>", goodArchive(), Step::FetchCatalogue, {},
                  "no list catalogue"},
        CancelRow{"archive fetch fails", newCatalogue(), {}, Step::FetchArchive, {},
                  "Address: http://listserver.test/kestrelmoor/modlist/q2modlist.zip"},
        // The new catalogue waits for the archive: it never stands beside the old list.
        CancelRow{"archive is an error page", newCatalogue(), "<html>Not Found</html>", Step::Unpack, {}, "no zip archive"},
        CancelRow{"date cannot be saved", newCatalogue(), goodArchive(), Step::StampDate, {}, "", false, End::Updated},
        CancelRow{"the archive address is the catalogue's own", newCatalogue(kCatalogueUrl), goodArchive(),
                  Step::FetchArchive, {}, "the list catalogue's own"},
        CancelRow{"Cancel while the catalogue is fetched", newCatalogue(), goodArchive(), Step::FetchCatalogue,
                  Step::FetchCatalogue},
        CancelRow{"Cancel while the archive is fetched", newCatalogue(), goodArchive(), Step::FetchArchive, Step::FetchArchive},
        CancelRow{"Cancel while the archive is unpacked", newCatalogue(), goodArchive(), Step::Unpack, Step::Unpack},
        CancelRow{"Cancel once the files go in place comes too late", newCatalogue(), goodArchive(), Step::Commit,
                  Step::Commit, "", true, End::Updated}));

} // namespace
