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

const QByteArray kOldCatalogue = crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "old archive address",
                                            "q2modlist", "welcome.htm", "Quake3", "q3modlist.dat",
                                            "old archive address", "q3modlist", "welcome.htm"});
const QByteArray kNewCatalogue = crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "new", "q2modlist", "start.htm"});
const QByteArray kNewList = crlfLines({"[ValidHeader]", "Deathmatch", "Arena pack", "http://pages.test/arena.htm"});
const QByteArray kLeftover("left by a broken run");

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

// The same folder after a successful update: the new catalogue and the
// archive's files beside the old page, and no tempor.zip.
const FolderSnapshot kUpdatedFolder{{u"mods.dat"_s, kNewCatalogue},
                                    {u"q2modlist.dat"_s, kNewList},
                                    {u"mods"_s, "<folder>"},
                                    {u"mods/old.htm"_s, "old page"},
                                    {u"mods/arena.htm"_s, "<html>arena</html>"},
                                    {u"mods/dm"_s, "<folder>"},
                                    {u"mods/dm/rail.htm"_s, "<html>rail</html>"}};

ModListEntry quake2(const QString &server)
{
    return ModListEntry{u"Quake2"_s, u"q2modlist.dat"_s, server + u"/kestrelmoor/modlist/q2modlist.zip"_s,
                        u"q2modlist"_s, u"welcome.htm"_s};
}

const QString kServer = u"http://listserver.test"_s;
const QString kArchiveUrl = kServer + u"/kestrelmoor/modlist/q2modlist.zip"_s;
const QString kCatalogueUrl = kServer + u"/kestrelmoor/modlist/mods.dat"_s;

// Records what the update does to the window, and answers its questions from
// a queue (Cancel when the queue is empty).
struct WindowRecorder
{
    QStringList events;
    QList<bool> retryAnswers;
    std::function<void()> whileBusy;

    ListUpdateHooks hooks()
    {
        ListUpdateHooks h;
        h.setButtonEnabled = [this](bool on) { events << (on ? u"button on"_s : u"button off"_s); };
        h.setBusy = [this](bool busy) {
            events << (busy ? u"busy pointer"_s : u"normal pointer"_s);
            if (busy && whileBusy)
                whileBusy();
        };
        h.askRetry = [this](const QString &title, const QString &text) {
            events << u"ask "_s + title + u'|' + text;
            return !retryAnswers.isEmpty() && retryAnswers.takeFirst();
        };
        h.setUpdatedLabel = [this](const QString &text) { events << u"label "_s + text; };
        h.rebuildTree = [this] { events << u"tree"_s; };
        h.inform = [this](const QString &title, const QString &text) { events << u"inform "_s + title + u'|' + text; };
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
};

// The whole road once over real HTTP, against a server in this process. The
// fetcher's faults have their own table in test_fetcher.cpp.
TEST_F(Procedure, OverHttpUpdatesFilesDateLabelAndTreeInOrder)
{
    TestHttpServer server;
    server.route("/kestrelmoor/modlist/q2modlist.zip", {TestHttpServer::Answer::ok(goodArchive())});
    server.route("/kestrelmoor/modlist/mods.dat", {TestHttpServer::Answer::ok(kNewCatalogue)});
    NetworkFetcher::Settings quick;
    quick.stallTimeout = std::chrono::milliseconds(1000);
    NetworkFetcher network(quick);

    const ListUpdate::Outcome outcome = runUpdate(network, server.base());

    EXPECT_EQ(outcome.end, End::Updated) << lastError.toStdString();
    EXPECT_EQ(outcome.failures, 0);
    EXPECT_EQ(window.events, (QStringList{u"button off"_s, u"busy pointer"_s, u"normal pointer"_s,
                                          u"label updated: 07-04-1999"_s, u"tree"_s, u"button on"_s, kSuccess}));
    EXPECT_EQ(snapshot(program.path()), kUpdatedFolder) << "a longer old catalogue leaves no tail";
    EXPECT_EQ(stamp(u"q2modlist"_s), u"07-04-1999"_s);
    EXPECT_EQ(stamp(u"q3modlist"_s), u"01-01-2000"_s) << "only the current list's date changes";
}

TEST_F(Procedure, RetryAfterAFailedFetchRepeatsThatFetchOnly)
{
    fetcher.answer(kArchiveUrl, {Answer::failed(), Answer::good(goodArchive())});
    fetcher.answer(kCatalogueUrl, {Answer::failed(), Answer::failed(), Answer::good(kNewCatalogue)});
    window.retryAnswers = {true, true, true};

    const ListUpdate::Outcome outcome = runUpdate(fetcher);

    EXPECT_EQ(outcome.end, End::Updated);
    EXPECT_EQ(outcome.failures, 3);
    EXPECT_EQ(fetcher.order, (QStringList{kArchiveUrl, kArchiveUrl, kCatalogueUrl, kCatalogueUrl, kCatalogueUrl}));
    // The pointer stays normal after the first failure.
    EXPECT_EQ(window.events, (QStringList{u"button off"_s, u"busy pointer"_s, u"normal pointer"_s, kAsk, kAsk, kAsk,
                                          u"label updated: 07-04-1999"_s, u"tree"_s, u"button on"_s, kSuccess}));
    EXPECT_EQ(snapshot(program.path()), kUpdatedFolder);
}

TEST_F(Procedure, RetryAfterAFailedExtractionFetchesTheArchiveAgain)
{
    fetcher.answer(kArchiveUrl, {Answer::good("<html>busy, try later</html>"), Answer::good(goodArchive())});
    fetcher.answer(kCatalogueUrl, {Answer::good(kNewCatalogue)});
    window.retryAnswers = {true};

    EXPECT_EQ(runUpdate(fetcher).end, End::Updated);
    EXPECT_EQ(fetcher.order, (QStringList{kArchiveUrl, kCatalogueUrl, kArchiveUrl, kCatalogueUrl}));
    EXPECT_EQ(window.events.count(kAsk), 1);
    EXPECT_EQ(snapshot(program.path()), kUpdatedFolder);
}

TEST_F(Procedure, ASecondRunWhileOneIsGoingOnIsTurnedAway)
{
    fetcher.answer(kArchiveUrl, {Answer::good(goodArchive())});
    fetcher.answer(kCatalogueUrl, {Answer::good(kNewCatalogue)});
    ListUpdate update(program.path(), kServer, settings, fetcher, window.hooks());
    ListUpdate::Outcome inner;
    window.whileBusy = [&] { inner = update.run(quake2(kServer)); };

    EXPECT_EQ(update.run(quake2(kServer)).end, End::Updated);
    EXPECT_EQ(inner.end, End::AlreadyRunning);
    EXPECT_EQ(fetcher.order.size(), 2);
    EXPECT_EQ(update.run(quake2(kServer)).end, End::Updated) << "the update runs again once it has ended";
}

// Cancel at each step that can fail: which files are old, which new, and
// nothing past the failed step happens.
struct CancelRow
{
    const char *label;
    QList<Answer> archive;
    QList<Answer> catalogue;
    bool settingsWritable;
    Step failedStep;
    QByteArray temporZip;  // empty: no tempor.zip
    bool newCatalogue;
    bool newList;
};

void PrintTo(const CancelRow &row, std::ostream *os)
{
    *os << row.label;
}

class CancelAt : public Procedure, public ::testing::WithParamInterface<CancelRow>
{
};

TEST_P(CancelAt, LeavesTheFilesOfTheStepsBeforeAndNothingElse)
{
    const CancelRow &row = GetParam();
    fetcher.answer(kArchiveUrl, row.archive);
    fetcher.answer(kCatalogueUrl, row.catalogue);
    settings.setWritable(row.settingsWritable);

    const ListUpdate::Outcome outcome = runUpdate(fetcher);

    EXPECT_EQ(outcome.end, End::Cancelled);
    EXPECT_EQ(int(outcome.cancelledAt), int(row.failedStep));
    EXPECT_FALSE(lastError.isEmpty());
    EXPECT_EQ(window.events, (QStringList{u"button off"_s, u"busy pointer"_s, u"normal pointer"_s, kAsk, u"button on"_s}))
        << "no label, no tree, no success message";
    EXPECT_EQ(program.exists(u"tempor.zip"_s), !row.temporZip.isEmpty());
    EXPECT_EQ(program.read(u"tempor.zip"_s), row.temporZip);
    EXPECT_EQ(program.read(u"mods.dat"_s), row.newCatalogue ? kNewCatalogue : kOldCatalogue);
    EXPECT_EQ(program.read(u"q2modlist.dat"_s), row.newList ? kNewList : QByteArray("old list"));
    EXPECT_EQ(program.read(u"mods/old.htm"_s), QByteArray("old page"));
    EXPECT_EQ(stamp(u"q2modlist"_s), u"never"_s);
    EXPECT_EQ(stamp(u"q3modlist"_s), u"01-01-2000"_s);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CancelAt,
    ::testing::Values(
        CancelRow{"archive fetch", {Answer::failed()}, {Answer::good(kNewCatalogue)}, true, Step::FetchArchive,
                  kLeftover, false, false},
        CancelRow{"catalogue fetch", {Answer::good(goodArchive())}, {Answer::failed()}, true, Step::FetchCatalogue,
                  goodArchive(), false, false},
        CancelRow{"catalogue is an error page", {Answer::good(goodArchive())},
                  {Answer::good("<html>Service Unavailable</html>")}, true, Step::FetchCatalogue, goodArchive(), false,
                  false},
        CancelRow{"archive is an error page", {Answer::good("<html>Not Found</html>")}, {Answer::good(kNewCatalogue)},
                  true, Step::Extract, {}, true, false},
        CancelRow{"date cannot be saved", {Answer::good(goodArchive())}, {Answer::good(kNewCatalogue)}, false,
                  Step::StampDate, {}, true, true}));

} // namespace
