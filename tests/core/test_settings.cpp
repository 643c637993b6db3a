#include "core/options.h"
#include "core/programfolder.h"
#include "core/settingsstore.h"
#include "support/smalldisk.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Both stores must behave alike.
void checkStoreContract(SettingsStore &store)
{
    const QString app = Options::kApplication, sec = Options::kSection;
    auto get = [&](const QString &a, const QString &s, const QString &k) { return store.value(a, s, k, u"-"_s); };
    EXPECT_EQ(get(app, sec, "RCOnly"), u"-"_s) << "an absent entry reads as the default";
    ASSERT_TRUE(store.setValue(app, sec, "RCOnly", "1"));
    EXPECT_EQ(get("dorodor", "OPTIONS", "rconly"), u"1"_s) << "names are compared without regard to case";
    ASSERT_TRUE(store.setValue(app, sec, "rconly", "0"));
    EXPECT_EQ(get(app, sec, "RCOnly"), u"0"_s) << "one entry, whatever the case";

    // Two lists keep two dates.
    ASSERT_TRUE(store.setValue("q2modlist", sec, Options::kUpdateDate, dateStamp(QDate(1999, 7, 4))));
    EXPECT_EQ(std::pair(updateDate(store, "Q2MODLIST", QDate(2020, 1, 1)), updateDate(store, "never", QDate(2020, 2, 3))),
              std::pair(u"07-04-1999"_s, u"02-03-2020"_s));

    // Names with separators stay names; values come back as written.
    ASSERT_TRUE(store.setValue("a/b", sec, "k", "slash"));
    EXPECT_EQ(get("a", u"b/"_s + sec, "k"), u"-"_s);
    ASSERT_TRUE(store.setValue({}, {}, {}, "empty names"));
    EXPECT_EQ(get({}, {}, {}), u"empty names"_s);
    const QString odd = u" a, b = \u00e4 ;#\\ "_s;
    ASSERT_TRUE(store.setValue(app, sec, "odd", odd));
    EXPECT_EQ(get(app, sec, "odd"), odd);
}

} // namespace

// Another store on the same file (another run) reads what this one wrote; a damaged file reads as
// the defaults; a store that cannot be written says so.
TEST(SettingsStore, BothStoresKeepTheContractAndTheIniStoreKeepsNoCache)
{
    MemorySettingsStore memory;
    checkStoreContract(memory);
    TempFolder dir;
    IniSettingsStore store(dir.file("conf/modlist.ini")), other(dir.file("conf/modlist.ini"));
    checkStoreContract(store);
    EXPECT_EQ(other.value("q2modlist", Options::kSection, "UPDATE", {}), u"07-04-1999"_s);
    ASSERT_TRUE(other.setValue(Options::kApplication, Options::kSection, Options::kUseDefaultBrowser, "1"));
    EXPECT_EQ(store.value(Options::kApplication, Options::kSection, Options::kUseDefaultBrowser, {}), u"1"_s);

    dir.write("garbage.ini", QByteArray("\xff\xfe[[[\0\0=\n=\n[", 13) + QByteArray(10000, '\x01'));
    dir.write("blocker", "x"); // the store's folder is a file
    IniSettingsStore garbage(dir.file("garbage.ini")), blocked(dir.file("blocker/modlist.ini"));
    EXPECT_FALSE(blocked.setValue(Options::kApplication, Options::kSection, Options::kShowRemoteControl, "1"));
    for (const SettingsStore *damaged : {&garbage, &blocked})
        EXPECT_EQ(damaged->value(Options::kApplication, Options::kSection, Options::kShowRemoteControl, "0"), u"0"_s);
}

// The file reads as a person would write it; an earlier version's encoded file is rewritten in that form
// once, keeping every value; a hand-written name counts whatever its case.
TEST(SettingsStore, TheFileIsReadableAndEarlierFilesAreRewrittenOnce)
{
    const struct { const char *name; QByteArray before, after; } rows[] = {
        {"written by the program", {}, "[DorOdor]\nOptions\\ShowFav=1\n"},
        {"earlier encoded form", "[ndorodor]\nnoptions\\ndefbrw=0\nnoptions\\nshowfav=0\n\n[nmy%2520list]\nnoptions\\nupdate=07-04-1999\n",
         "[DorOdor]\nOptions\\DefBrw=0\nOptions\\ShowFav=1\n\n[my list]\nOptions\\update=07-04-1999\n"},
        {"written by hand", "; mine\n[dorodor]\n  options\\SHOWFAV = 0\nstray line\n", "[DorOdor]\nOptions\\ShowFav=1\n"},
    };
    for (const auto &row : rows) {
        TempFolder dir;
        if (!row.before.isEmpty())
            dir.write("modlist.ini", row.before);
        IniSettingsStore store(dir.file("modlist.ini"));
        EXPECT_EQ(store.value(Options::kApplication, Options::kSection, Options::kShowRemoteControl, "-"),
                  row.before.isEmpty() ? u"-"_s : u"0"_s) << row.name;
        ASSERT_TRUE(store.setValue(Options::kApplication, Options::kSection, Options::kShowRemoteControl, "1")) << row.name;
        EXPECT_EQ(dir.read("modlist.ini"), row.after) << row.name;
    }

    // A full disk leaves the file as it was, and says why.
    SmallDisk disk(64 * 1024);
    if (disk.mounted()) {
        IniSettingsStore store(disk.file("modlist.ini"));
        ASSERT_TRUE(store.setValue(Options::kApplication, Options::kSection, Options::kShowRemoteControl, "1"));
        disk.fill();
        EXPECT_FALSE(store.setValue(Options::kApplication, Options::kSection, Options::kUseDefaultBrowser, "1"));
        EXPECT_TRUE(store.errorString().contains(u"no space left on the device"_s)) << store.errorString().toStdString();
        EXPECT_EQ(disk.folder().read("modlist.ini"), "[DorOdor]\nOptions\\ShowFav=1\n");
    }
}

// Start-up switches are on at the number 1, the remote control's browser choice at any number but 0.
TEST(Options, SwitchesReadTheTextAsANumber)
{
    const struct { const char *stored; bool on, nonZero; } rows[] = { // stored nullptr: absent
        {nullptr, false, false}, {"0", false, false}, {"1", true, true},     {"2", false, true},   {" 1 ", true, true},
        {"1.0", true, true},     {"yes", false, false}, {"", false, false}, {"nan", false, false}, {"1e300", false, true},
    };
    for (const auto &row : rows) {
        MemorySettingsStore store;
        if (row.stored)
            store.setValue(Options::kApplication, Options::kSection, Options::kUseDefaultBrowser, row.stored);
        EXPECT_EQ(std::pair(Options::isOn(store, Options::kUseDefaultBrowser), Options::isNonZero(store, Options::kUseDefaultBrowser)),
                  std::pair(row.on, row.nonZero)) << (row.stored ? row.stored : "(absent)");
    }
}

TEST(SettingsFolder, EarlierSettingsAreTakenOverOnceAndNeverOverwrite)
{
    const struct { const char *name; QByteArray earlier, current, after; } rows[] = {
        // empty: no such file; after: the current file afterwards
        {"no earlier settings", {}, {}, {}},
        {"earlier only", "[ndorodor]\nx=1\n", {}, "[ndorodor]\nx=1\n"},
        {"both, or taken over before", "earlier", "current", "current"},
    };
    for (const auto &row : rows) {
        TempFolder home;
        const QString earlier = u"kestrelmoor/modlist.ini"_s, current = u"kestrelmoor-modlist/modlist.ini"_s;
        for (const auto &[name, bytes] : {std::pair{earlier, row.earlier}, {current, row.current}}) {
            if (!bytes.isEmpty())
                home.write(name, bytes);
        }
        EXPECT_TRUE(adoptEarlierSettings(home.file(earlier), home.file(current))) << row.name;
        EXPECT_EQ(std::pair(home.read(current), home.exists(current)), std::pair(row.after, !row.after.isEmpty())) << row.name;
        EXPECT_EQ(home.read(earlier), row.earlier) << row.name << ": the earlier file stays";
    }
    TempFolder home;
    home.write("kestrelmoor/modlist.ini", "earlier");
    home.write("blocked", "a file where the folder should be");
    EXPECT_FALSE(adoptEarlierSettings(home.file("kestrelmoor/modlist.ini"), home.file("blocked/modlist.ini")));
}

// The probe leaves nothing behind; a later start and a newer install never overwrite the user's files,
// and a deleted one comes back.
TEST(ProgramFolder, AWritableExecutableFolderOrAUsersFolderSeededOnce)
{
    TempFolder exe, installed, user;
    exe.write("file", "x");
    EXPECT_FALSE(isWritableFolder(exe.file("missing")) || isWritableFolder(exe.file("file")));
    const ProgramFolder writable = chooseProgramFolder(exe.path(), isWritableFolder(exe.path()), user.file("data"), exe.path());
    EXPECT_TRUE(writable.path == exe.path() && !user.exists("data")) << "nothing is made for the user";
    EXPECT_EQ(QDir(exe.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"file"});

    installed.write("defmodlist.dat", "master");
    installed.write("mods.dat", "catalogue");
    installed.write("pages/welcome.htm", "page");
    ProgramFolder first = chooseProgramFolder(exe.path(), false, user.file("data"), installed.path());
    EXPECT_EQ(first.path, user.file("data"));
    first.seeded.sort();
    EXPECT_EQ(first.seeded, (QStringList{"defmodlist.dat", "mods.dat", "pages/welcome.htm"}));
    EXPECT_EQ(user.read("data/pages/welcome.htm"), "page");

    user.write("data/mods.dat", "updated by the user");
    QFile::remove(user.file("data/defmodlist.dat"));
    installed.write("mods.dat", "newer install");
    const ProgramFolder second = chooseProgramFolder(exe.path(), false, user.file("data"), installed.path());
    EXPECT_TRUE(second.seeded == QStringList{"defmodlist.dat"} && second.error.isEmpty());
    EXPECT_EQ(user.read("data/mods.dat"), "updated by the user");
    EXPECT_FALSE(user.exists("data/defmodlist.dat.seeding")) << "nothing half-copied";
}
