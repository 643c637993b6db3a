#include "core/listserver.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// A site folder with pages, and beside it a secret that no address may reach.
TEST(SiteLookup, FindsOnlyRegularFilesInsideTheFolder)
{
    TempFolder outside;
    outside.write("secret.txt", "secret");
    outside.write("site/kestrelmoor/modlist/welcome.htm", "start");
    outside.write("site/kestrelmoor/modlist/mods/gloom.htm", "gloom");
    outside.write("site/kestrelmoor/index.htm", "home");
    QDir().mkpath(outside.file("site/kestrelmoor/modlist/empty"));
    QFile::link(outside.file("secret.txt"), outside.file("site/kestrelmoor/leak.txt"));
    QFile::link(outside.file("site/kestrelmoor/modlist/welcome.htm"), outside.file("site/kestrelmoor/start.htm"));
    ::mkfifo(QFile::encodeName(outside.file("site/kestrelmoor/pipe.htm")).constData(), 0600);

    using Kind = SiteFile::Kind;
    const struct { const char *name, *path; Kind kind; const char *file = ""; } rows[] = {
        // path: after "kestrelmoor://list/kestrelmoor" unless a whole address; file: inside the site folder, for Found
        {"a page", "/modlist/welcome.htm", Kind::Found, "kestrelmoor/modlist/welcome.htm"},
        {"a folder names its index page", "/", Kind::Found, "kestrelmoor/index.htm"},
        {"a link that stays inside", "/start.htm", Kind::Found, "kestrelmoor/modlist/welcome.htm"},
        {"a missing file", "/modlist/none.htm", Kind::NotFound},
        {"a folder without index page", "/modlist/empty", Kind::NotFound},
        {"a named pipe", "/pipe.htm", Kind::NotFound},
        {"dot-dot", "/%2e%2e/%2e%2e/secret.txt", Kind::Refused},
        {"encoded slash and dot-dot", "%2f..%2f..%2fsecret.txt", Kind::Refused},
        {"backslash", "%5c..%5c..%5csecret.txt", Kind::Refused},
        {"NUL", "/index.htm%00.png", Kind::Refused},
        {"a link that leads outside", "/leak.txt", Kind::Refused},
        {"query, fragment, host in capitals, doubled slashes", "kestrelmoor://LIST//kestrelmoor/modlist/mods/gloom.htm?x=1#top",
         Kind::Found, "kestrelmoor/modlist/mods/gloom.htm"},
        {"another host", "kestrelmoor://other/kestrelmoor/index.htm", Kind::NotFound},
        {"another scheme", "http://list/kestrelmoor/index.htm", Kind::NotFound},
    };
    const auto canonical = [](const QString &path) { return QFileInfo(path).canonicalFilePath(); };
    for (const auto &row : rows) {
        const QString url = QString(row.path).contains(u"://") ? row.path : u"kestrelmoor://list/kestrelmoor"_s + row.path;
        const SiteFile found = findSiteFile(outside.file("site"), QUrl(url));
        EXPECT_EQ(found.kind, row.kind) << row.name;
        const QString expected = *row.file ? canonical(outside.file(u"site/"_s + row.file)) : QString();
        EXPECT_EQ(*row.file ? canonical(found.path) : found.path, expected) << row.name;
    }
    EXPECT_EQ(findSiteFile("/nonexistent/site", QUrl("kestrelmoor://list/kestrelmoor/index.htm")).kind, Kind::NotFound);
}

TEST(ListServerChoice, OptionsBeforeFileBeforeBuiltIn)
{
    const QString builtIn = ListServer::builtInAddress();
    const struct { const char *name; QString options, file, expected; } rows[] = {
        {"nothing set", {}, {}, builtIn},
        {"the file", {}, "http://mirror.test:8080", "http://mirror.test:8080"},
        {"the options before the file", "https://options.test/", "http://mirror.test", "https://options.test"},
        {"blanks and end slashes go", "  http://options.test/base//  ", {}, "http://options.test/base"},
        {"not a web address", "ftp://options.test", "kestrelmoor://list", builtIn},
        {"no host", "http://", "http:///path", builtIn},
        {"a query or fragment", "http://a.test/?x=1", "http://b.test/#f", builtIn},
        {"not an address", "mirror.test", "::", builtIn},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ListServer::choose(row.options, row.file, builtIn + u'/'), row.expected) << row.name;
}
