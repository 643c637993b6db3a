#include "update/networkfetcher.h"

#include "foldersnapshot.h"
#include "support/tempfolder.h"
#include "testhttpserver.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <functional>

namespace {

using Status = FetchResult::Status;
using Answer = TestHttpServer::Answer;

const char *statusName(Status status)
{
    switch (status) {
    case Status::Ok:
        return "Ok";
    case Status::BadAddress:
        return "BadAddress";
    case Status::NetworkError:
        return "NetworkError";
    case Status::HttpError:
        return "HttpError";
    case Status::TimedOut:
        return "TimedOut";
    case Status::Incomplete:
        return "Incomplete";
    case Status::TooLarge:
        return "TooLarge";
    case Status::WriteFailed:
        return "WriteFailed";
    case Status::Busy:
        return "Busy";
    }
    return "?";
}

// Short enough for the tests; the program waits 30 s.
NetworkFetcher::Settings testSettings()
{
    NetworkFetcher::Settings settings;
    settings.stallTimeout = std::chrono::milliseconds(1000);
    return settings;
}

const QByteArray kBody = QByteArray("PK\x03\x04 pretend archive ") + QByteArray(100000, 'z');

struct FetchRow
{
    const char *label;
    QList<Answer> answers;  // for "/file"; "/loop" always redirects to itself
    const char *path = "/file";
    qint64 maxBytes = qint64(1) << 30;
    Status expected = Status::Ok;
    int httpStatus = 200;
    QByteArray body = kBody;  // what the file holds after a successful fetch
};

void PrintTo(const FetchRow &row, std::ostream *os)
{
    *os << row.label;
}

class Fetch : public ::testing::TestWithParam<FetchRow>
{
protected:
    TestHttpServer server;
    TempFolder folder;
};

// The same answers, fetched once into a file that holds older bytes and once
// into memory. A failure leaves the file whole and no debris beside it.
TEST_P(Fetch, ToFileAndToMemory)
{
    const FetchRow &row = GetParam();
    server.route("/loop", {Answer::redirect("/loop")});
    server.route("/moved", {Answer::redirect("/file")});
    NetworkFetcher fetcher(testSettings());

    for (const bool toFile : {true, false}) {
        SCOPED_TRACE(toFile ? "to a file" : "to memory");
        server.route("/file", row.answers);
        folder.write(QStringLiteral("tempor.zip"), "old bytes of an earlier archive");
        const FetchRequest request{QUrl(server.url(row.path)), toFile ? folder.file(QStringLiteral("tempor.zip")) : QString(),
                                   row.maxBytes};

        const FetchResult result = fetcher.fetch(request);

        EXPECT_EQ(statusName(result.status), std::string(statusName(row.expected))) << result.errorText.toStdString();
        EXPECT_EQ(result.httpStatus, row.httpStatus);
        const QByteArray onDisk = folder.read(QStringLiteral("tempor.zip"));
        if (row.expected == Status::Ok) {
            EXPECT_TRUE(result.errorText.isEmpty());
            EXPECT_EQ(result.bytesReceived, row.body.size());
            if (toFile) {
                EXPECT_EQ(onDisk, row.body);
                EXPECT_EQ(result.savedTo, request.saveTo);
            } else {
                EXPECT_EQ(result.body, row.body);
            }
        } else {
            EXPECT_FALSE(result.errorText.isEmpty());
            EXPECT_TRUE(result.body.isEmpty());
            EXPECT_TRUE(result.savedTo.isEmpty());
        }
        if (!toFile || row.expected != Status::Ok) {
            EXPECT_EQ(onDisk, QByteArray("old bytes of an earlier archive"));
        }
        EXPECT_EQ(snapshot(folder.path()).keys(), QStringList{QStringLiteral("tempor.zip")});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Fetch,
    ::testing::Values(
        FetchRow{"whole body", {Answer::ok(kBody)}},
        FetchRow{"empty body", {Answer::ok({})}, "/file", qint64(1) << 30, Status::Ok, 200, {}},
        FetchRow{"body ended by closing, no length", {Answer::withoutLength(kBody)}},
        FetchRow{"one redirect", {Answer::ok(kBody)}, "/moved"},
        FetchRow{"not found with an error page", {Answer::error(404, "<html>Not Found</html>")}, "/file",
                 qint64(1) << 30, Status::HttpError, 404},
        FetchRow{"server error", {Answer::error(500, "<html>oops</html>")}, "/file", qint64(1) << 30,
                 Status::HttpError, 500},
        FetchRow{"server error without a body", {Answer::error(500, {})}, "/file", qint64(1) << 30,
                 Status::HttpError, 500},
        FetchRow{"body cut short", {Answer::truncated(kBody, 5000)}, "/file", qint64(1) << 30, Status::Incomplete},
        FetchRow{"stalls in the body", {Answer::stall(kBody, 5000)}, "/file", qint64(1) << 30, Status::TimedOut},
        FetchRow{"never answers", {Answer::silent()}, "/file", qint64(1) << 30, Status::TimedOut, 0},
        FetchRow{"redirect loop", {}, "/loop", qint64(1) << 30, Status::NetworkError, 302},
        FetchRow{"announced length over the cap", {Answer::ok(kBody)}, "/file", 1000, Status::TooLarge},
        FetchRow{"unannounced length over the cap", {Answer::withoutLength(kBody)}, "/file", 1000, Status::TooLarge}));

TEST(FetchAddress, RefusedConnectionAndForeignSchemesFail)
{
    TempFolder folder;
    folder.write(QStringLiteral("mods.dat"), "old");
    NetworkFetcher fetcher(testSettings());
    const struct
    {
        const char *label;
        QString url;
        Status expected;
    } rows[] = {
        {"nobody listens", QStringLiteral("http://127.0.0.1:%1/file").arg(TestHttpServer::closedPort()), Status::NetworkError},
        {"local file", QStringLiteral("file:///etc/hostname"), Status::BadAddress},
        {"no host", QStringLiteral("http:///file"), Status::BadAddress},
        {"not an address", QStringLiteral("mods.dat"), Status::BadAddress},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        const FetchResult result = fetcher.fetch({QUrl(row.url), folder.file(QStringLiteral("mods.dat")), 1 << 20});
        EXPECT_EQ(statusName(result.status), std::string(statusName(row.expected)));
        EXPECT_FALSE(result.errorText.isEmpty());
        EXPECT_EQ(folder.read(QStringLiteral("mods.dat")), QByteArray("old"));
    }
}

TEST(FetchReentry, AFetchStartedWhileOneRunsIsTurnedAway)
{
    TestHttpServer server;
    server.route("/slow", {Answer::silent()});
    server.route("/file", {Answer::ok("quick")});
    NetworkFetcher fetcher(testSettings());
    FetchResult inner;
    bool timerRan = false;
    // A timer fires inside the fetch's event loop, as a tray click or a remote
    // control pick would.
    QTimer::singleShot(50, [&] {
        timerRan = true;
        inner = fetcher.fetch({QUrl(server.url("/file")), QString(), 1 << 20});
    });

    const FetchResult outer = fetcher.fetch({QUrl(server.url("/slow")), QString(), 1 << 20});

    EXPECT_TRUE(timerRan) << "timers run while a fetch waits";
    EXPECT_EQ(statusName(inner.status), std::string("Busy"));
    EXPECT_EQ(server.hits("/file"), 0);
    EXPECT_EQ(statusName(outer.status), std::string("TimedOut"));
    EXPECT_TRUE(fetcher.fetch({QUrl(server.url("/file")), QString(), 1 << 20}).ok()) << "usable again afterwards";
}

} // namespace
