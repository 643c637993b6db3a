#include "update/networkfetcher.h"
#include "update/routingfetcher.h"
#include "update/sitefolderfetcher.h"

#include "support/fakefetcher.h"
#include "support/smalldisk.h"
#include "support/tempfolder.h"
#include "support/testhttpserver.h"
#include "updatetest.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Status = FetchResult::Status;
using Answer = TestHttpServer::Answer;

namespace {

// Short enough for the tests; the program waits 30 s for both.
const NetworkFetcher::Settings kQuick{.stallTimeout = 1000ms, .rateWindow = 1500ms, .minBytesPerSecond = 2000};
const QByteArray kBody = QByteArray("PK\x03\x04 pretend archive ") + QByteArray(100000, 'z');
const QByteArray kOld = "old bytes of an earlier archive";
const QByteArray kPage = "<html>gloom</html>";
const QString kPageUrl = u"kestrelmoor://list/kestrelmoor/modlist/mods/gloom.htm"_s;

FetchRequest get(const QString &url, const QString &saveTo = {}, const QByteArray &ifNoneMatch = {})
{
    return {QUrl(url), saveTo, qint64(1) << 30, ifNoneMatch, {}, {}};
}

// A plain HTTP server, a TLS one, and a site folder for the built-in list with a page, a large archive and a secret
// beside it; a file with older bytes for the fetches to replace.
class Fetch : public ::testing::Test
{
protected:
    Fetch()
    {
        site.write(u"site/kestrelmoor/modlist/mods/gloom.htm"_s, kPage);
        site.write(u"site/kestrelmoor/modlist/big.zip"_s, QByteArray(3 << 20, 'z'));
        site.write(u"secret.txt"_s, "secret");
        folder.write(u"tempor.zip"_s, kOld);
    }

    QString target() const { return folder.file(u"tempor.zip"_s); }

    TestHttpServer server;
    TestHttpServer secure{true};
    TempFolder site;
    TempFolder folder;
    NetworkFetcher network{kQuick};
    SiteFolderFetcher siteFetcher{site.file(u"site"_s)};
};

struct FetchRow
{
    const char *label;
    Answer answer = {.body = kBody};  // for "/file" on both servers
    // A path on the plain server, the TLS one when `tls` is set; or a whole address.
    QString target = u"/file"_s;
    bool tls = false;
    Status expected = Status::Ok;
    int httpStatus = 200;
    qint64 maxBytes = qint64(1) << 30;
    QByteArray ifNoneMatch = {};
    QDateTime ifModifiedSince = {};
    QByteArray etag = {};  // the validator the result carries
};

void PrintTo(const FetchRow &row, std::ostream *os) { *os << row.label; }

class HttpFetch : public Fetch, public ::testing::WithParamInterface<FetchRow> {};

// The same answers, fetched once into the file and once into memory. A failure leaves the file whole and no debris
// beside it.
TEST_P(HttpFetch, ToFileAndToMemory)
{
    const FetchRow &row = GetParam();
    for (TestHttpServer *each : {&server, &secure}) {
        each->route("/moved", {.status = 302, .location = "/file"});
        each->route("/file", row.answer);
    }
    server.route("/loop", {.status = 302, .location = "/loop"});
    secure.route("/insecure", {.status = 302, .location = server.url("/file").toLatin1()});
    const QUrl url(row.target.startsWith(u'/') ? (row.tls ? secure : server).url(row.target.toLatin1()) : row.target);
    const bool ok = row.expected == Status::Ok;

    for (const bool toFile : {true, false}) {
        SCOPED_TRACE(toFile ? "to a file" : "to memory");
        folder.write(u"tempor.zip"_s, kOld);
        qint64 progressed = 0;
        const FetchRequest request{url, toFile ? target() : QString(), row.maxBytes, row.ifNoneMatch, row.ifModifiedSince,
                                   [&](qint64 received, qint64) { progressed = received; }};

        const FetchResult result = fetchAndWait(network, request);

        EXPECT_EQ(result.status, row.expected) << result.errorText.toStdString();
        EXPECT_EQ(result.httpStatus, row.httpStatus);
        EXPECT_EQ(result.etag, row.etag);
        EXPECT_EQ(result.errorText.isEmpty(), ok || row.expected == Status::NotModified);
        EXPECT_EQ(result.savedTo, ok ? request.saveTo : QString());
        EXPECT_TRUE(result.body == (ok && !toFile ? row.answer.body : QByteArray()));
        EXPECT_TRUE(snapshot(folder.path()) == (FolderSnapshot{{u"tempor.zip"_s, ok && toFile ? row.answer.body : kOld}}));
        if (ok) {
            EXPECT_EQ(result.bytesReceived, row.answer.body.size());
            EXPECT_EQ(progressed, row.answer.body.size());
        }
    }
    if (row.tls) {
        EXPECT_EQ(server.hits("/file"), 0) << "nothing is asked of the plain server";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HttpFetch,
    ::testing::Values(
        FetchRow{.label = "whole body"},
        FetchRow{.label = "empty body", .answer = {}},
        FetchRow{.label = "body ended by closing, no length", .answer = {.kind = Answer::NoLength, .body = kBody}},
        FetchRow{.label = "one redirect", .target = u"/moved"_s},
        FetchRow{.label = "redirect within https", .target = u"/moved"_s, .tls = true},
        // It would hand the body to anyone on the way: the fetch fails before the http address is asked.
        FetchRow{.label = "https redirected to http", .target = u"/insecure"_s, .tls = true, .expected = Status::NetworkError,
                 .httpStatus = 302},
        FetchRow{.label = "not found with an error page", .answer = {.status = 404, .body = "<html>Not Found</html>"},
                 .expected = Status::HttpError, .httpStatus = 404},
        FetchRow{.label = "body cut short", .answer = {.kind = Answer::Truncated, .body = kBody, .sent = 5000},
                 .expected = Status::Incomplete},
        FetchRow{.label = "stalls in the body", .answer = {.kind = Answer::Stall, .body = kBody, .sent = 5000},
                 .expected = Status::TimedOut},
        // A byte every 20 ms never stalls, and would take over half an hour.
        FetchRow{.label = "drips", .answer = {.kind = Answer::Drip, .body = kBody}, .expected = Status::TooSlow},
        FetchRow{.label = "unchanged since the entity tag", .answer = {.body = kBody, .etag = "\"v1\""},
                 .expected = Status::NotModified, .httpStatus = 304, .ifNoneMatch = "\"v1\"", .etag = "\"v1\""},
        FetchRow{.label = "unchanged since the date", .answer = {.body = kBody, .lastModified = "Sat, 01 Jan 2000 10:00:00 GMT"},
                 .expected = Status::NotModified, .httpStatus = 304,
                 .ifModifiedSince = QDateTime(QDate(2000, 1, 1), QTime(10, 0), Qt::UTC)},
        FetchRow{.label = "changed since the entity tag", .answer = {.body = kBody, .etag = "\"v2\""}, .ifNoneMatch = "\"v1\"",
                 .etag = "\"v2\""},
        FetchRow{.label = "never answers", .answer = {.kind = Answer::Silent}, .expected = Status::TimedOut, .httpStatus = 0},
        FetchRow{.label = "redirect loop", .target = u"/loop"_s, .expected = Status::NetworkError, .httpStatus = 302},
        FetchRow{.label = "announced length over the cap", .expected = Status::TooLarge, .maxBytes = 1000},
        FetchRow{.label = "unannounced length over the cap", .answer = {.kind = Answer::NoLength, .body = kBody},
                 .expected = Status::TooLarge, .maxBytes = 1000},
        FetchRow{.label = "nobody listens", .target = u"http://127.0.0.1:1/file"_s, .expected = Status::NetworkError,
                 .httpStatus = 0},
        FetchRow{.label = "local file", .target = u"file://localhost/etc/hostname"_s, .expected = Status::BadAddress,
                 .httpStatus = 0},
        FetchRow{.label = "no host", .target = u"http:///file"_s, .expected = Status::BadAddress, .httpStatus = 0}));

// The page fetched whole, then asked for again as a web server is asked: a failure or an unchanged file leaves the
// target file as it was, and a failure says why.
TEST_F(Fetch, TheSiteFolderAnswersAsAWebServerWould)
{
    const FetchResult first = fetchAndWait(siteFetcher, get(kPageUrl));
    ASSERT_EQ(first.status, Status::Ok) << first.errorText.toStdString();
    EXPECT_EQ(first.body, kPage);
    EXPECT_EQ(first.bytesReceived, kPage.size());
    const QDateTime modified = first.lastModified;  // the rows below depend on both validators

    const struct { const char *label; QString url; QByteArray ifNoneMatch; QDateTime ifModifiedSince; Status status;
                   int httpStatus; qint64 maxBytes = qint64(1) << 30; QString saveTo = u"tempor.zip"_s; } rows[] = {
        {"the same tag", kPageUrl, first.etag, {}, Status::NotModified, 304},
        {"the tag, weak, in a list", kPageUrl, "\"other\", W/" + first.etag, {}, Status::NotModified, 304},
        {"any tag", kPageUrl, "*", {}, Status::NotModified, 304},
        {"another tag", kPageUrl, "\"0-0\"", {}, Status::Ok, 200},
        {"the tag decides before the date", kPageUrl, "\"0-0\"", modified.addDays(1), Status::Ok, 200},
        {"modified since an earlier time", kPageUrl, {}, modified.addSecs(-1), Status::Ok, 200},
        {"not modified since then", kPageUrl, {}, modified, Status::NotModified, 304},
        {"nor since later", kPageUrl, {}, modified.addDays(1), Status::NotModified, 304},
        {"missing file", u"kestrelmoor://list/kestrelmoor/modlist/none.zip"_s, {}, {}, Status::HttpError, 404},
        {"outside the folder", u"kestrelmoor://list/kestrelmoor/%2e%2e/%2e%2e/secret.txt"_s, {}, {}, Status::HttpError, 403},
        {"a web address", u"http://list/kestrelmoor/modlist/mods/gloom.htm"_s, {}, {}, Status::BadAddress, 0},
        {"longer than the cap", kPageUrl, {}, {}, Status::TooLarge, 200, 10},
        {"target cannot be written", kPageUrl, {}, {}, Status::WriteFailed, 200, qint64(1) << 30, u"missing/tempor.zip"_s},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        folder.write(u"tempor.zip"_s, kOld);
        const FetchRequest request{QUrl(row.url), folder.file(row.saveTo), row.maxBytes, row.ifNoneMatch, row.ifModifiedSince,
                                   {}};
        const FetchResult result = fetchAndWait(siteFetcher, request);
        const bool answered = row.status == Status::Ok || row.status == Status::NotModified;
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.httpStatus, row.httpStatus);
        EXPECT_EQ(result.errorText.isEmpty(), answered);
        EXPECT_EQ(result.etag, answered ? first.etag : QByteArray());
        EXPECT_EQ(result.savedTo, row.status == Status::Ok ? request.saveTo : QString());
        EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{u"tempor.zip"_s, row.status == Status::Ok ? kPage : kOld}}));
    }

    // A new file under the same name gets a new tag, so the old tag fetches it, in chunks whose progress counts up to
    // its size.
    site.write(u"site/kestrelmoor/modlist/mods/gloom.htm"_s, QByteArray(3 << 20, 'n'));
    QList<std::pair<qint64, qint64>> reports;
    FetchRequest again = get(kPageUrl, target(), first.etag);
    again.progress = [&](qint64 done, qint64 total) { reports.append({done, total}); };
    const FetchResult changed = fetchAndWait(siteFetcher, again);
    EXPECT_EQ(changed.status, Status::Ok);
    EXPECT_NE(changed.etag, first.etag);
    EXPECT_GT(reports.size(), 1);
    EXPECT_EQ(reports.last(), std::make_pair(qint64(3 << 20), qint64(3 << 20)));
}

// A disk that is full: a small answer as much as a large one fails both fetchers with the reason, and the file in
// place stays as it was, with nothing beside it.
TEST_F(Fetch, AFullDiskFailsTheDownloadAndSaysSo)
{
    SmallDisk disk(64 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "a tmpfs of its own needs root";
    disk.folder().write(u"tempor.zip"_s, kOld);
    disk.fill();
    server.route("/file", {.body = kBody});
    server.route("/small", {.body = kPage});
    for (const auto &[fetcher, url] : {std::pair<HttpFetcher *, QString>{&network, server.url("/file")},
                                       {&network, server.url("/small")}, {&siteFetcher, kPageUrl}}) {
        const FetchResult result = fetchAndWait(*fetcher, get(url, disk.file(u"tempor.zip"_s)));
        EXPECT_EQ(result.status, Status::WriteFailed) << url.toStdString();
        EXPECT_TRUE(result.errorText.contains(u"no space left on the device"_s)) << result.errorText.toStdString();
        EXPECT_EQ(QDir(disk.folder().path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"filler", "tempor.zip"}));
        EXPECT_EQ(disk.folder().read(u"tempor.zip"_s), kOld);
    }
}

// A second fetch started while the first runs (a timer, the tray) is turned away, and Cancel then (a progress dialog's)
// ends the first with the file as it was; Cancel while nothing runs does nothing.
TEST_F(Fetch, ASecondFetchIsTurnedAwayAndCancelEndsTheFirst)
{
    server.route("/slow", {.kind = Answer::Stall, .body = kBody, .sent = 5000});
    server.route("/file", {.body = "quick"});
    RoutingFetcher routing(siteFetcher, network);
    const QString bigUrl = u"kestrelmoor://list/kestrelmoor/modlist/big.zip"_s;
    const struct { const char *label; HttpFetcher &fetcher; QString slow, quick; } rows[] = {
        {"over HTTP", network, server.url("/slow"), server.url("/file")},
        {"from the site folder", siteFetcher, bigUrl, kPageUrl},
        {"routed to the site folder", routing, bigUrl, kPageUrl},
        {"routed to the web", routing, server.url("/slow"), server.url("/file")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        std::optional<bool> innerStarted;
        FetchRequest request = get(row.slow, target());
        request.progress = [&](qint64, qint64) {
            if (!innerStarted) {
                innerStarted = row.fetcher.start(get(row.quick));
                row.fetcher.cancel();
            }
        };
        EXPECT_EQ(fetchAndWait(row.fetcher, request).status, Status::Cancelled);
        EXPECT_EQ(innerStarted, false);
        EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{u"tempor.zip"_s, kOld}}));
        row.fetcher.cancel();
        EXPECT_TRUE(fetchAndWait(row.fetcher, get(row.quick)).ok()) << "usable again afterwards";
    }
    EXPECT_EQ(server.hits("/file"), 2) << "only the fetches after a cancelled one";
}

} // namespace
