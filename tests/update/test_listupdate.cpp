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

using End = ListUpdate::Outcome::End;
using Step = ListUpdate::Step;

const QDate kToday(1999, 7, 4);
const QString kStamp = QStringLiteral("07-04-1999");
const QString kAsk = QStringLiteral("ask Connection Error|Error encounter while transferring data from server. "
                                    "Press 'Ok' to retry or 'Cancel' to exit.");
const QString kSuccess = QStringLiteral("inform Mod List|Mod List updated successfully.");

const QByteArray kOldCatalogue = crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "old archive address",
                                            "q2modlist", "welcome.htm", "Quake3", "q3modlist.dat",
                                            "old archive address", "q3modlist", "welcome.htm"});
const QByteArray kNewCatalogue = crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat", "new", "q2modlist", "start.htm"});
const QByteArray kNewList = crlfLines({"[ValidHeader]", "Deathmatch", "Arena pack", "http://pages.test/arena.htm"});

QByteArray goodArchive()
{
    return buildZip({ZipEntry::file("q2modlist.dat", kNewList), ZipEntry::folder("mods/"),
                     ZipEntry::file("mods/arena.htm", "<html>arena</html>"),
                     ZipEntry::stored("mods/dm/rail.htm", "<html>rail</html>")});
}

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
        h.setButtonEnabled = [this](bool on) { events << (on ? QStringLiteral("button on") : QStringLiteral("button off")); };
        h.setBusy = [this](bool busy) {
            events << (busy ? QStringLiteral("busy pointer") : QStringLiteral("normal pointer"));
            if (busy && whileBusy)
                whileBusy();
        };
        h.askRetry = [this](const QString &title, const QString &text) {
            events << QStringLiteral("ask ") + title + QLatin1Char('|') + text;
            return retryAnswers.isEmpty() ? false : retryAnswers.takeFirst();
        };
        h.setUpdatedLabel = [this](const QString &text) { events << QStringLiteral("label ") + text; };
        h.rebuildTree = [this] { events << QStringLiteral("tree"); };
        h.inform = [this](const QString &title, const QString &text) {
            events << QStringLiteral("inform ") + title + QLatin1Char('|') + text;
        };
        return h;
    }
};

const QStringList kCleanRun{QStringLiteral("button off"), QStringLiteral("busy pointer"), QStringLiteral("normal pointer"),
                            QStringLiteral("label updated: 07-04-1999"), QStringLiteral("tree"),
                            QStringLiteral("button on"), kSuccess};

// A program folder after an earlier update and an earlier broken one.
void prepareProgramFolder(const TempFolder &program)
{
    program.write(QStringLiteral("mods.dat"), kOldCatalogue);
    program.write(QStringLiteral("q2modlist.dat"), "old list");
    program.write(QStringLiteral("mods/old.htm"), "old page");
    program.write(QStringLiteral("tempor.zip"), "left by a broken run");
}

ModListEntry quake2(const QString &server)
{
    return ModListEntry{QStringLiteral("Quake2"), QStringLiteral("q2modlist.dat"),
                        server + QStringLiteral("/kestrelmoor/modlist/q2modlist.zip"), QStringLiteral("q2modlist"),
                        QStringLiteral("welcome.htm")};
}

// The procedure against a fake fetcher that answers as the test says.
class Procedure : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prepareProgramFolder(program);
        settings.setValue(QStringLiteral("q3modlist"), Options::kSection, Options::kUpdate, QStringLiteral("01-01-2000"));
    }

    ListUpdate::Outcome runUpdate()
    {
        ListUpdate update(program.path(), kServer, settings, fetcher, window.hooks());
        update.setToday([] { return kToday; });
        return update.run(quake2(kServer));
    }

    QString stamp(const char *list) const
    {
        return settings.value(QString::fromLatin1(list), Options::kSection, Options::kUpdate, QStringLiteral("never"));
    }

    const QString kServer = QStringLiteral("http://listserver.test");
    const QString kArchiveUrl = kServer + QStringLiteral("/kestrelmoor/modlist/q2modlist.zip");
    const QString kCatalogueUrl = kServer + QStringLiteral("/kestrelmoor/modlist/mods.dat");
    TempFolder program;
    MemorySettingsStore settings;
    FakeFetcher fetcher;
    WindowRecorder window;
};

TEST_F(Procedure, CleanRunUpdatesFilesDateLabelAndTreeInOrder)
{
    fetcher.answer(kArchiveUrl, {FakeFetcher::Answer::good(goodArchive())});
    fetcher.answer(kCatalogueUrl, {FakeFetcher::Answer::good(kNewCatalogue)});

    const ListUpdate::Outcome outcome = runUpdate();

    EXPECT_EQ(outcome.end, End::Updated);
    EXPECT_EQ(outcome.failures, 0);
    EXPECT_EQ(window.events, kCleanRun);
    EXPECT_EQ(fetcher.order, (QStringList{kArchiveUrl, kCatalogueUrl}));
    EXPECT_EQ(program.read(QStringLiteral("mods.dat")), kNewCatalogue) << "a longer old catalogue leaves no tail";
    EXPECT_EQ(program.read(QStringLiteral("q2modlist.dat")), kNewList);
    EXPECT_EQ(program.read(QStringLiteral("mods/arena.htm")), QByteArray("<html>arena</html>"));
    EXPECT_EQ(program.read(QStringLiteral("mods/dm/rail.htm")), QByteArray("<html>rail</html>"));
    EXPECT_EQ(program.read(QStringLiteral("mods/old.htm")), QByteArray("old page"));
    EXPECT_FALSE(program.exists(QStringLiteral("tempor.zip")));
    EXPECT_EQ(stamp("q2modlist"), kStamp);
    EXPECT_EQ(stamp("q3modlist"), QStringLiteral("01-01-2000")) << "only the current list's date changes";
}

TEST_F(Procedure, RetryAfterAFailedFetchGivesTheSameFilesAsACleanRun)
{
    TempFolder clean;
    prepareProgramFolder(clean);
    {
        FakeFetcher cleanFetcher;
        cleanFetcher.answer(kArchiveUrl, {FakeFetcher::Answer::good(goodArchive())});
        cleanFetcher.answer(kCatalogueUrl, {FakeFetcher::Answer::good(kNewCatalogue)});
        MemorySettingsStore cleanSettings;
        WindowRecorder cleanWindow;
        ListUpdate update(clean.path(), kServer, cleanSettings, cleanFetcher, cleanWindow.hooks());
        ASSERT_EQ(update.run(quake2(kServer)).end, End::Updated);
    }
    fetcher.answer(kArchiveUrl, {FakeFetcher::Answer::failed(), FakeFetcher::Answer::good(goodArchive())});
    fetcher.answer(kCatalogueUrl, {FakeFetcher::Answer::failed(), FakeFetcher::Answer::failed(),
                                   FakeFetcher::Answer::good(kNewCatalogue)});
    window.retryAnswers = {true, true, true};

    const ListUpdate::Outcome outcome = runUpdate();

    EXPECT_EQ(outcome.end, End::Updated);
    EXPECT_EQ(outcome.failures, 3);
    EXPECT_EQ(fetcher.order, (QStringList{kArchiveUrl, kArchiveUrl, kCatalogueUrl, kCatalogueUrl, kCatalogueUrl}))
        << "each retry repeats the failed step only";
    // The pointer stays normal after the first failure.
    EXPECT_EQ(window.events, (QStringList{QStringLiteral("button off"), QStringLiteral("busy pointer"),
                                          QStringLiteral("normal pointer"), kAsk, kAsk, kAsk,
                                          QStringLiteral("label updated: 07-04-1999"), QStringLiteral("tree"),
                                          QStringLiteral("button on"), kSuccess}));
    EXPECT_EQ(snapshot(program.path()), snapshot(clean.path()));
}

TEST_F(Procedure, RetryAfterAFailedExtractionFetchesTheArchiveAgain)
{
    fetcher.answer(kArchiveUrl, {FakeFetcher::Answer::good("<html>busy, try later</html>"),
                                 FakeFetcher::Answer::good(goodArchive())});
    fetcher.answer(kCatalogueUrl, {FakeFetcher::Answer::good(kNewCatalogue)});
    window.retryAnswers = {true};

    const ListUpdate::Outcome outcome = runUpdate();

    EXPECT_EQ(outcome.end, End::Updated);
    EXPECT_EQ(fetcher.order, (QStringList{kArchiveUrl, kCatalogueUrl, kArchiveUrl, kCatalogueUrl}));
    EXPECT_EQ(program.read(QStringLiteral("q2modlist.dat")), kNewList);
    EXPECT_FALSE(program.exists(QStringLiteral("tempor.zip")));
    EXPECT_EQ(window.events.count(kAsk), 1);
    EXPECT_EQ(window.events.last(), kSuccess);
}

// Cancel at each step: which files are old, which new, and nothing past the
// failed step happens.
struct CancelRow
{
    const char *label;
    QList<FakeFetcher::Answer> archive;
    QList<FakeFetcher::Answer> catalogue;
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

    const ListUpdate::Outcome outcome = runUpdate();

    EXPECT_EQ(outcome.end, End::Cancelled);
    EXPECT_EQ(int(outcome.cancelledAt), int(row.failedStep));
    EXPECT_EQ(window.events, (QStringList{QStringLiteral("button off"), QStringLiteral("busy pointer"),
                                          QStringLiteral("normal pointer"), kAsk, QStringLiteral("button on")}))
        << "no label, no tree, no success message";
    if (row.temporZip.isEmpty()) {
        EXPECT_FALSE(program.exists(QStringLiteral("tempor.zip")));
    } else {
        EXPECT_EQ(program.read(QStringLiteral("tempor.zip")), row.temporZip);
    }
    EXPECT_EQ(program.read(QStringLiteral("mods.dat")), row.newCatalogue ? kNewCatalogue : kOldCatalogue);
    EXPECT_EQ(program.read(QStringLiteral("q2modlist.dat")), row.newList ? kNewList : QByteArray("old list"));
    EXPECT_EQ(program.read(QStringLiteral("mods/old.htm")), QByteArray("old page"));
    EXPECT_EQ(stamp("q2modlist"), QStringLiteral("never"));
    EXPECT_EQ(stamp("q3modlist"), QStringLiteral("01-01-2000"));
}

const QByteArray kLeftover("left by a broken run");

INSTANTIATE_TEST_SUITE_P(
    Steps, CancelAt,
    ::testing::Values(
        CancelRow{"archive fetch", {FakeFetcher::Answer::failed()}, {FakeFetcher::Answer::good(kNewCatalogue)}, true,
                  Step::FetchArchive, kLeftover, false, false},
        CancelRow{"catalogue fetch", {FakeFetcher::Answer::good(goodArchive())}, {FakeFetcher::Answer::failed()}, true,
                  Step::FetchCatalogue, goodArchive(), false, false},
        CancelRow{"catalogue is an error page", {FakeFetcher::Answer::good(goodArchive())},
                  {FakeFetcher::Answer::good("<html>Service Unavailable</html>")}, true, Step::FetchCatalogue,
                  goodArchive(), false, false},
        CancelRow{"archive is an error page", {FakeFetcher::Answer::good("<html>Not Found</html>")},
                  {FakeFetcher::Answer::good(kNewCatalogue)}, true, Step::Extract, {}, true, false},
        CancelRow{"archive reaches outside the folder",
                  {FakeFetcher::Answer::good(buildZip({ZipEntry::file("q2modlist.dat", kNewList),
                                                       ZipEntry::file("../evil.txt", "x")}))},
                  {FakeFetcher::Answer::good(kNewCatalogue)}, true, Step::Extract, {}, true, false},
        CancelRow{"date cannot be saved", {FakeFetcher::Answer::good(goodArchive())},
                  {FakeFetcher::Answer::good(kNewCatalogue)}, false, Step::StampDate, {}, true, true}));

TEST_F(Procedure, ASecondRunWhileOneIsGoingOnIsTurnedAway)
{
    fetcher.answer(kArchiveUrl, {FakeFetcher::Answer::good(goodArchive())});
    fetcher.answer(kCatalogueUrl, {FakeFetcher::Answer::good(kNewCatalogue)});
    ListUpdate update(program.path(), kServer, settings, fetcher, window.hooks());
    update.setToday([] { return kToday; });
    ListUpdate::Outcome inner;
    window.whileBusy = [&] { inner = update.run(quake2(kServer)); };

    const ListUpdate::Outcome outer = update.run(quake2(kServer));

    EXPECT_EQ(inner.end, End::AlreadyRunning);
    EXPECT_EQ(outer.end, End::Updated);
    EXPECT_EQ(fetcher.order.size(), 2);
    EXPECT_FALSE(update.isRunning());
}

// The whole road over HTTP, against a server in this process.
class OverHttp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prepareProgramFolder(program);
        server.route("/kestrelmoor/modlist/mods.dat", {TestHttpServer::Answer::ok(kNewCatalogue)});
    }

    ListUpdate::Outcome runUpdate(const TempFolder &folder, WindowRecorder &recorder)
    {
        NetworkFetcher::Settings quick;
        quick.stallTimeout = std::chrono::milliseconds(1000);
        NetworkFetcher fetcher(quick);
        ListUpdate update(folder.path(), server.base(), settings, fetcher, recorder.hooks());
        update.setToday([] { return kToday; });
        return update.run(quake2(server.base()));
    }

    TestHttpServer server;
    TempFolder program;
    MemorySettingsStore settings;
    WindowRecorder window;
};

TEST_F(OverHttp, RetryAfterAServerErrorGivesTheSameFilesAsACleanRun)
{
    TempFolder clean;
    prepareProgramFolder(clean);
    WindowRecorder cleanWindow;
    server.route("/kestrelmoor/modlist/q2modlist.zip", {TestHttpServer::Answer::ok(goodArchive())});
    ASSERT_EQ(runUpdate(clean, cleanWindow).end, End::Updated);
    EXPECT_EQ(cleanWindow.events, kCleanRun);

    server.route("/kestrelmoor/modlist/q2modlist.zip",
                 {TestHttpServer::Answer::error(500, "<html>Internal Server Error</html>"),
                  TestHttpServer::Answer::ok(goodArchive())});
    window.retryAnswers = {true};

    EXPECT_EQ(runUpdate(program, window).end, End::Updated);
    EXPECT_EQ(window.events.count(kAsk), 1);
    EXPECT_EQ(snapshot(program.path()), snapshot(clean.path()));
}

// Server faults at the archive: Cancel leaves the program folder exactly as it was.
struct FaultRow
{
    const char *label;
    TestHttpServer::Answer answer;
};

void PrintTo(const FaultRow &row, std::ostream *os)
{
    *os << row.label;
}

class ArchiveFault : public OverHttp, public ::testing::WithParamInterface<FaultRow>
{
};

TEST_P(ArchiveFault, CancelLeavesTheFolderAsItWas)
{
    server.route("/kestrelmoor/modlist/q2modlist.zip", {GetParam().answer});
    server.route("/loop", {TestHttpServer::Answer::redirect("/loop")});
    const FolderSnapshot before = snapshot(program.path());

    const ListUpdate::Outcome outcome = runUpdate(program, window);

    EXPECT_EQ(outcome.end, End::Cancelled);
    EXPECT_EQ(int(outcome.cancelledAt), int(Step::FetchArchive));
    EXPECT_EQ(window.events.count(kAsk), 1);
    EXPECT_EQ(snapshot(program.path()), before);
    EXPECT_EQ(server.hits("/kestrelmoor/modlist/mods.dat"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ArchiveFault,
    ::testing::Values(FaultRow{"not found", TestHttpServer::Answer::error(404, "<html>Not Found</html>")},
                      FaultRow{"server error", TestHttpServer::Answer::error(500, "<html>oops</html>")},
                      FaultRow{"body cut short", TestHttpServer::Answer::truncated(goodArchive(), 100)},
                      FaultRow{"stalled transfer", TestHttpServer::Answer::stall(goodArchive(), 100)},
                      FaultRow{"redirect loop", TestHttpServer::Answer::redirect("/loop")}));

TEST_F(OverHttp, AnErrorPageSentAsTheArchiveIsAFailedExtraction)
{
    server.route("/kestrelmoor/modlist/q2modlist.zip", {TestHttpServer::Answer::ok("<html>Welcome to our new site</html>")});

    const ListUpdate::Outcome outcome = runUpdate(program, window);

    EXPECT_EQ(outcome.end, End::Cancelled);
    EXPECT_EQ(int(outcome.cancelledAt), int(Step::Extract));
    EXPECT_EQ(program.read(QStringLiteral("mods.dat")), kNewCatalogue);
    EXPECT_EQ(program.read(QStringLiteral("q2modlist.dat")), QByteArray("old list"));
    EXPECT_FALSE(program.exists(QStringLiteral("tempor.zip")));
    EXPECT_FALSE(window.events.contains(kSuccess));
}

TEST_F(OverHttp, ARefusedConnectionAsksAndCancelRestoresTheButton)
{
    NetworkFetcher fetcher;
    ListUpdate update(program.path(), QStringLiteral("http://127.0.0.1:%1").arg(TestHttpServer::closedPort()), settings,
                      fetcher, window.hooks());
    const FolderSnapshot before = snapshot(program.path());

    const ListUpdate::Outcome outcome =
        update.run(quake2(QStringLiteral("http://127.0.0.1:%1").arg(TestHttpServer::closedPort())));

    EXPECT_EQ(outcome.end, End::Cancelled);
    EXPECT_FALSE(update.lastError().isEmpty());
    EXPECT_EQ(window.events.last(), QStringLiteral("button on"));
    EXPECT_EQ(snapshot(program.path()), before);
}

} // namespace
