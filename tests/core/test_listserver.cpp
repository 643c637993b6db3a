#include "core/listserver.h"
#include "core/settingsstore.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Kind = SiteFile::Kind;

static void PrintTo(Kind kind, std::ostream *os)
{
    *os << (kind == Kind::Found ? "Found" : kind == Kind::NotFound ? "NotFound" : "Refused");
}

namespace {

struct SiteRow
{
    const char *label;
    QString url;
    Kind kind;
    QString file = {};  // relative to the site folder, for Found
};

void PrintTo(const SiteRow &row, std::ostream *os)
{
    *os << row.label;
}

// A site folder with pages, and beside it a secret that no address may reach.
class SiteLookup : public ::testing::TestWithParam<SiteRow>
{
protected:
    SiteLookup()
    {
        outside.write(u"secret.txt"_s, "secret");
        outside.write(u"site/kestrelmoor/modlist/welcome.htm"_s, "start");
        outside.write(u"site/kestrelmoor/modlist/mods/gloom.htm"_s, "gloom");
        outside.write(u"site/kestrelmoor/index.htm"_s, "home");
        QDir().mkpath(outside.file(u"site/kestrelmoor/modlist/empty"_s));
        QFile::link(outside.file(u"secret.txt"_s), outside.file(u"site/kestrelmoor/leak.txt"_s));
        QFile::link(outside.file(u"site/kestrelmoor/modlist/welcome.htm"_s), outside.file(u"site/kestrelmoor/start.htm"_s));
        ::mkfifo(QFile::encodeName(outside.file(u"site/kestrelmoor/pipe.htm"_s)).constData(), 0600);
    }

    TempFolder outside;
};

} // namespace

TEST_P(SiteLookup, FindsOnlyRegularFilesInsideTheFolder)
{
    const SiteRow &row = GetParam();
    const SiteFile found = findSiteFile(outside.file(u"site"_s), QUrl(row.url));
    EXPECT_EQ(found.kind, row.kind);
    if (row.kind == Kind::Found)
        EXPECT_EQ(QFileInfo(found.path).canonicalFilePath(), QFileInfo(outside.file(u"site/"_s + row.file)).canonicalFilePath());
    else
        EXPECT_TRUE(found.path.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, SiteLookup,
    ::testing::Values(
        SiteRow{"a page", u"kestrelmoor://list/kestrelmoor/modlist/welcome.htm"_s, Kind::Found,
                u"kestrelmoor/modlist/welcome.htm"_s},
        SiteRow{"query, fragment and doubled slashes ignored", u"kestrelmoor://LIST//kestrelmoor/modlist/mods/gloom.htm?x=1#top"_s,
                Kind::Found, u"kestrelmoor/modlist/mods/gloom.htm"_s},
        SiteRow{"a folder names its index page", u"kestrelmoor://list/kestrelmoor/"_s, Kind::Found,
                u"kestrelmoor/index.htm"_s},
        SiteRow{"a link that stays inside", u"kestrelmoor://list/kestrelmoor/start.htm"_s, Kind::Found,
                u"kestrelmoor/modlist/welcome.htm"_s},
        SiteRow{"a missing file", u"kestrelmoor://list/kestrelmoor/modlist/none.htm"_s, Kind::NotFound},
        SiteRow{"a folder without index page", u"kestrelmoor://list/kestrelmoor/modlist/empty"_s, Kind::NotFound},
        SiteRow{"a named pipe", u"kestrelmoor://list/kestrelmoor/pipe.htm"_s, Kind::NotFound},
        SiteRow{"another host", u"kestrelmoor://other/kestrelmoor/index.htm"_s, Kind::NotFound},
        SiteRow{"another scheme", u"http://list/kestrelmoor/index.htm"_s, Kind::NotFound},
        SiteRow{"dot-dot", u"kestrelmoor://list/kestrelmoor/%2e%2e/%2e%2e/secret.txt"_s, Kind::Refused},
        SiteRow{"encoded slash and dot-dot", u"kestrelmoor://list/kestrelmoor%2f..%2f..%2fsecret.txt"_s, Kind::Refused},
        SiteRow{"backslash", u"kestrelmoor://list/kestrelmoor%5c..%5c..%5csecret.txt"_s, Kind::Refused},
        SiteRow{"NUL", u"kestrelmoor://list/kestrelmoor/index.htm%00.png"_s, Kind::Refused},
        SiteRow{"a link that leads outside", u"kestrelmoor://list/kestrelmoor/leak.txt"_s, Kind::Refused}));

TEST(SiteLookupFolder, MissingSiteFolderFindsNothing)
{
    EXPECT_EQ(findSiteFile(u"/nonexistent/site"_s, QUrl(u"kestrelmoor://list/kestrelmoor/index.htm"_s)).kind,
              Kind::NotFound);
}

TEST(ListServerChoice, OptionsBeforeFileBeforeBuiltIn)
{
    const QString builtIn = ListServer::builtInAddress();
    const struct
    {
        const char *label;
        QString options, file, expected;
    } rows[] = {
        {"nothing set", {}, {}, builtIn},
        {"the file", {}, u"http://mirror.test:8080"_s, u"http://mirror.test:8080"_s},
        {"the options before the file", u"https://options.test/"_s, u"http://mirror.test"_s, u"https://options.test"_s},
        {"blanks and end slashes go", u"  http://options.test/base//  "_s, {}, u"http://options.test/base"_s},
        {"not a web address", u"ftp://options.test"_s, u"kestrelmoor://list"_s, builtIn},
        {"no host", u"http://"_s, u"http:///path"_s, builtIn},
        {"a query or fragment", u"http://a.test/?x=1"_s, u"http://b.test/#f"_s, builtIn},
        {"not an address", u"mirror.test"_s, u"::"_s, builtIn},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ListServer::choose(row.options, row.file, builtIn + u'/'), row.expected) << row.label;
}

TEST(SettingsFolder, EarlierSettingsAreTakenOverOnceAndNeverOverwrite)
{
    const struct
    {
        const char *label;
        QByteArray earlier, current;  // empty: no such file
        QByteArray after;  // the current file afterwards; empty: none
    } rows[] = {
        {"no earlier settings", {}, {}, {}},
        {"earlier only", "[ndorodor]\nx=1\n", {}, "[ndorodor]\nx=1\n"},
        {"both", "earlier", "current", "current"},
    };
    for (const auto &row : rows) {
        TempFolder home;
        const QString earlier = home.file(u"kestrelmoor/modlist.ini"_s);
        const QString current = home.file(u"kestrelmoor-modlist/modlist.ini"_s);
        if (!row.earlier.isEmpty())
            home.write(u"kestrelmoor/modlist.ini"_s, row.earlier);
        if (!row.current.isEmpty())
            home.write(u"kestrelmoor-modlist/modlist.ini"_s, row.current);
        EXPECT_TRUE(adoptEarlierSettings(earlier, current)) << row.label;
        EXPECT_EQ(home.read(u"kestrelmoor-modlist/modlist.ini"_s), row.after) << row.label;
        EXPECT_EQ(QFile::exists(current), !row.after.isEmpty()) << row.label;
        EXPECT_EQ(home.read(u"kestrelmoor/modlist.ini"_s), row.earlier) << row.label << ": the earlier file stays";
        // Once taken over, a later change of the earlier file is not read again.
        if (!row.after.isEmpty()) {
            home.write(u"kestrelmoor/modlist.ini"_s, "changed later");
            EXPECT_TRUE(adoptEarlierSettings(earlier, current));
            EXPECT_EQ(home.read(u"kestrelmoor-modlist/modlist.ini"_s), row.after) << row.label;
        }
    }
}

TEST(SettingsFolder, AFolderThatCannotBeMadeIsReported)
{
    TempFolder home;
    home.write(u"kestrelmoor/modlist.ini"_s, "earlier");
    home.write(u"blocked"_s, "a file where the folder should be");
    EXPECT_FALSE(adoptEarlierSettings(home.file(u"kestrelmoor/modlist.ini"_s), home.file(u"blocked/modlist.ini"_s)));
}
