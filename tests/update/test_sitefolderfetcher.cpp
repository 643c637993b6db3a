#include "update/listupdate.h"
#include "update/routingfetcher.h"
#include "update/sitefolderfetcher.h"

#include "core/settingsstore.h"
#include "support/fakefetcher.h"
#include "foldersnapshot.h"
#include "support/tempfolder.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTimer>

using namespace Qt::StringLiterals;
using Status = FetchResult::Status;

static void PrintTo(Status status, std::ostream *os)
{
    static const char *const names[] = {"Ok",       "NotModified", "BadAddress",  "NetworkError",
                                        "HttpError", "TimedOut",   "TooSlow",     "Incomplete",
                                        "TooLarge",  "WriteFailed", "Busy",       "Cancelled"};
    *os << names[int(status)];
}

namespace {

const QByteArray kPage = "<html>gloom</html>";
const QByteArray kOld = "old bytes of an earlier archive";
const QString kPageUrl = u"kestrelmoor://list/kestrelmoor/modlist/mods/gloom.htm"_s;

// A site folder with a page, a large archive, and a secret outside it.
class SiteFetch : public ::testing::Test
{
protected:
    SiteFetch()
    {
        site.write(u"site/kestrelmoor/modlist/mods/gloom.htm"_s, kPage);
        site.write(u"site/kestrelmoor/modlist/big.zip"_s, QByteArray(3 * 1024 * 1024, 'z'));
        site.write(u"secret.txt"_s, "secret");
        download.write(u"tempor.zip"_s, kOld);
    }

    FetchRequest toFile(const QString &url) const
    {
        FetchRequest request;
        request.url = QUrl(url);
        request.saveTo = download.file(u"tempor.zip"_s);
        return request;
    }

    // The download folder holds the old file, whole, and nothing beside it.
    void expectOldFileOnly() const
    {
        EXPECT_EQ(snapshot(download.path()), (FolderSnapshot{{u"tempor.zip"_s, kOld}}));
    }

    TempFolder site;
    TempFolder download;
    SiteFolderFetcher fetcher{site.file(u"site"_s)};
};

struct FailureRow
{
    const char *label;
    QString url;
    Status status;
    int httpStatus;
    qint64 maxBytes = qint64(1) << 30;
    bool unwritableTarget = false;
};

} // namespace

// Each failure leaves the target file as it was and reports why.
TEST_F(SiteFetch, FailuresLeaveTheFileAlone)
{
    const FailureRow rows[] = {
        {"missing file", u"kestrelmoor://list/kestrelmoor/modlist/none.zip"_s, Status::HttpError, 404},
        {"outside the folder", u"kestrelmoor://list/kestrelmoor/%2e%2e/%2e%2e/secret.txt"_s, Status::HttpError, 403},
        {"a web address", u"http://list/kestrelmoor/modlist/mods/gloom.htm"_s, Status::BadAddress, 0},
        {"longer than the cap", kPageUrl, Status::TooLarge, 200, 10},
        {"target cannot be written", kPageUrl, Status::WriteFailed, 200, qint64(1) << 30, true},
    };
    for (const FailureRow &row : rows) {
        SCOPED_TRACE(row.label);
        FetchRequest request = toFile(row.url);
        request.maxBytes = row.maxBytes;
        if (row.unwritableTarget)
            request.saveTo = download.file(u"missing-folder/tempor.zip"_s);
        const FetchResult result = fetcher.fetch(request);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.httpStatus, row.httpStatus);
        EXPECT_FALSE(result.errorText.isEmpty());
        EXPECT_TRUE(result.savedTo.isEmpty());
        expectOldFileOnly();
    }
}

TEST_F(SiteFetch, BodyToFileOrMemoryWithValidators)
{
    const FetchResult saved = fetcher.fetch(toFile(kPageUrl));
    ASSERT_EQ(saved.status, Status::Ok) << saved.errorText.toStdString();
    EXPECT_EQ(saved.httpStatus, 200);
    EXPECT_EQ(download.read(u"tempor.zip"_s), kPage);
    EXPECT_EQ(saved.savedTo, download.file(u"tempor.zip"_s));
    EXPECT_EQ(saved.bytesReceived, kPage.size());
    EXPECT_FALSE(saved.etag.isEmpty());
    EXPECT_EQ(saved.lastModified.toSecsSinceEpoch(),
              QFileInfo(site.file(u"site/kestrelmoor/modlist/mods/gloom.htm"_s)).lastModified().toSecsSinceEpoch());

    FetchRequest inMemory;
    inMemory.url = QUrl(kPageUrl);
    const FetchResult kept = fetcher.fetch(inMemory);
    EXPECT_EQ(kept.status, Status::Ok);
    EXPECT_EQ(kept.body, kPage);
    EXPECT_EQ(kept.etag, saved.etag) << "the same file, the same tag";
}

// The copy the program holds is named by its validators; the file is left
// alone when it is current.
TEST_F(SiteFetch, ConditionalRequests)
{
    const FetchResult first = fetcher.fetch(toFile(kPageUrl));
    ASSERT_EQ(first.status, Status::Ok);
    const QDateTime modified = first.lastModified;
    download.write(u"tempor.zip"_s, kOld);

    const struct
    {
        const char *label;
        QByteArray ifNoneMatch;
        QDateTime ifModifiedSince;
        Status status;
    } rows[] = {
        {"the same tag", first.etag, {}, Status::NotModified},
        {"the tag, weak, in a list", "\"other\", W/" + first.etag, {}, Status::NotModified},
        {"any tag", "*", {}, Status::NotModified},
        {"another tag", "\"0-0\"", {}, Status::Ok},
        {"the tag decides before the date", "\"0-0\"", modified.addDays(1), Status::Ok},
        {"modified since an earlier time", {}, modified.addSecs(-1), Status::Ok},
        {"not modified since then", {}, modified, Status::NotModified},
        {"nor since later", {}, modified.addDays(1), Status::NotModified},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        FetchRequest request = toFile(kPageUrl);
        request.ifNoneMatch = row.ifNoneMatch;
        request.ifModifiedSince = row.ifModifiedSince;
        const FetchResult result = fetcher.fetch(request);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.httpStatus, row.status == Status::NotModified ? 304 : 200);
        EXPECT_EQ(result.etag, first.etag);
        if (row.status == Status::NotModified)
            expectOldFileOnly();
        else
            EXPECT_EQ(download.read(u"tempor.zip"_s), kPage);
        download.write(u"tempor.zip"_s, kOld);
    }

    // A new file under the same name gets a new tag, so the old tag fetches it.
    site.write(u"site/kestrelmoor/modlist/mods/gloom.htm"_s, kPage + "<p>more</p>");
    FetchRequest again = toFile(kPageUrl);
    again.ifNoneMatch = first.etag;
    const FetchResult changed = fetcher.fetch(again);
    EXPECT_EQ(changed.status, Status::Ok);
    EXPECT_NE(changed.etag, first.etag);
}

TEST_F(SiteFetch, ProgressCountsUpToTheSize)
{
    QList<std::pair<qint64, qint64>> reports;
    FetchRequest request = toFile(u"kestrelmoor://list/kestrelmoor/modlist/big.zip"_s);
    request.progress = [&](qint64 received, qint64 total) { reports.append({received, total}); };
    const FetchResult result = fetcher.fetch(request);
    ASSERT_EQ(result.status, Status::Ok);
    ASSERT_GT(reports.size(), 1);
    for (int i = 1; i < reports.size(); ++i)
        EXPECT_GT(reports[i].first, reports[i - 1].first);
    EXPECT_EQ(reports.last(), std::make_pair(qint64(3 * 1024 * 1024), qint64(3 * 1024 * 1024)));
}

// Cancel while the copy runs (a progress dialog's Cancel), and a second fetch
// started from inside the first (a timer, the tray).
TEST_F(SiteFetch, CancelAndReentry)
{
    RoutingFetcher routing(fetcher, fetcher);
    for (HttpFetcher *through : std::initializer_list<HttpFetcher *>{&fetcher, &routing}) {
        SCOPED_TRACE(through == &fetcher ? "site fetcher" : "through the routing fetcher");
        FetchResult inner;
        FetchRequest request = toFile(u"kestrelmoor://list/kestrelmoor/modlist/big.zip"_s);
        request.progress = [&](qint64 received, qint64) {
            if (received > 256 * 1024)
                return;
            FetchRequest page;
            page.url = QUrl(kPageUrl);
            inner = through->fetch(page);
            through->cancel();
        };
        const FetchResult result = through->fetch(request);
        EXPECT_EQ(inner.status, Status::Busy);
        EXPECT_EQ(result.status, Status::Cancelled);
        expectOldFileOnly();

        through->cancel();  // nothing runs: no effect on the next fetch
        EXPECT_EQ(through->fetch(toFile(kPageUrl)).status, Status::Ok) << "usable again afterwards";
        download.write(u"tempor.zip"_s, kOld);
    }
}

TEST(RoutingFetch, BuiltInAddressesToTheSiteOthersToTheWeb)
{
    FakeFetcher site, web;
    site.answer(u"kestrelmoor://list/kestrelmoor/modlist/mods.dat"_s, {FakeFetcher::Answer::good("built in")});
    web.answer(u"https://mirror.test/kestrelmoor/modlist/mods.dat"_s, {FakeFetcher::Answer::good("from the web")});
    RoutingFetcher routing(site, web);

    FetchRequest request;
    request.url = QUrl(u"kestrelmoor://list/kestrelmoor/modlist/mods.dat"_s);
    EXPECT_EQ(routing.fetch(request).body, "built in");
    request.url = QUrl(u"https://mirror.test/kestrelmoor/modlist/mods.dat"_s);
    EXPECT_EQ(routing.fetch(request).body, "from the web");
    request.url = QUrl(u"file:///etc/hostname"_s);
    routing.fetch(request);
    EXPECT_EQ(site.order, QStringList{u"kestrelmoor://list/kestrelmoor/modlist/mods.dat"_s});
    EXPECT_EQ(web.order, (QStringList{u"https://mirror.test/kestrelmoor/modlist/mods.dat"_s, u"file:///etc/hostname"_s}))
        << "everything else is the web fetcher's to judge";
}

// "Update list" with nothing configured: the same procedure as against a
// server, reading the site folder.
TEST(BuiltInListUpdate, UpdatesTheProgramFolderFromTheSite)
{
    const QByteArray list = crlfLines({"[ValidHeader]", "Deathmatch", "---",
                                       "Deathmatch?Gloom?kestrelmoor://list/kestrelmoor/modlist/mods/gloom.htm"});
    const QByteArray catalogue = crlfLines({"[ValidHeader]", "Quake2", "q2modlist.dat",
                                            "kestrelmoor://list/kestrelmoor/modlist/q2modlist.zip", "q2modlist",
                                            "welcome.htm"});
    TempFolder site, program;
    site.write(u"kestrelmoor/modlist/q2modlist.zip"_s,
               buildZip({ZipEntry::file("q2modlist.dat", list), ZipEntry::file("mods/gloom.htm", kPage)}));
    site.write(u"kestrelmoor/modlist/mods.dat"_s, catalogue);
    SiteFolderFetcher siteFetcher(site.path());
    FakeFetcher web;
    RoutingFetcher fetcher(siteFetcher, web);
    MemorySettingsStore settings;

    ListUpdate update(program.path(), u"kestrelmoor://list"_s, settings, fetcher, ListUpdateHooks{});
    const ListUpdate::Outcome outcome =
        update.run(ModListEntry{u"Quake2"_s, u"q2modlist.dat"_s, u"kestrelmoor://list/kestrelmoor/modlist/q2modlist.zip"_s,
                                u"q2modlist"_s, u"welcome.htm"_s});

    EXPECT_EQ(outcome.end, ListUpdate::Outcome::End::Updated) << update.lastError().toStdString();
    FolderSnapshot files = snapshot(program.path());
    files.remove(u".kml-validators"_s);  // the entity tags of what is in place
    EXPECT_EQ(files, (FolderSnapshot{{u"mods.dat"_s, catalogue},
                                                        {u"q2modlist.dat"_s, list},
                                                        {u"mods"_s, "<folder>"},
                                                        {u"mods/gloom.htm"_s, kPage}}));
    EXPECT_TRUE(web.order.isEmpty()) << "nothing goes to the web";
}
