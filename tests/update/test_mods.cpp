#include "core/settingsstore.h"
#include "mods/gamesetup.h"
#include "mods/modinstaller.h"
#include "mods/modlauncher.h"
#include "mods/modlayout.h"

#include "support/tempfolder.h"
#include "support/wait.h"
#include "updatetest.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Where an archive's files land in the mod's folder, by shape; an empty `top` with no files: refused.
struct LayoutRow
{
    const char *label;
    QList<QByteArray> archive;
    QString top;
    QList<QByteArray> installed;
    QString suggested = {};  // the game name the install dialog proposes, for a mod called "Mod Name 2"
};

void PrintTo(const LayoutRow &row, std::ostream *os) { *os << row.label; }

class ModLayoutTest : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(ModLayoutTest, StripsTheModsFolderAndLowersNames)
{
    const LayoutRow &row = GetParam();
    const ModLayout layout = ModLayout::of(row.archive);
    QList<QByteArray> installed;
    for (const auto &file : layout.files)
        installed << file.second;
    EXPECT_EQ(layout.topFolder, row.top);
    EXPECT_EQ(installed, row.installed);
    EXPECT_EQ(layout.error.isEmpty(), !row.installed.isEmpty()) << layout.error.toStdString();
    if (row.suggested.isEmpty())
        return;
    TempFolder folder;
    QList<ZipEntry> entries;
    for (const QByteArray &path : row.archive)
        entries << ZipEntry::file(path, "x");
    folder.write(u"a.zip"_s, buildZip(entries));
    EXPECT_EQ(ModArchiveSummary::of(folder.file(u"a.zip"_s), u"Mod Name 2"_s).suggestedGame, row.suggested);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ModLayoutTest,
    ::testing::Values(
        LayoutRow{"top folder beside a readme", {"Rogue/PAK0.PAK", "Rogue/Maps/Base1.bsp", "README.TXT"}, u"Rogue"_s,
                  {"pak0.pak", "maps/base1.bsp", "readme.txt"}, u"rogue"_s},
        LayoutRow{"loose", {"pak0.pak", "maps/a.bsp", "autoexec.cfg"}, {}, {"pak0.pak", "maps/a.bsp", "autoexec.cfg"},
                  u"mod-name-2"_s},
        LayoutRow{"maps only keep their folder", {"MAPS/Test.BSP"}, {}, {"maps/test.bsp"}, u"mod-name-2"_s},
        LayoutRow{"a Windows game library only", {"gamex86.dll"}, {}, {"gamex86.dll"}},
        LayoutRow{"two top folders", {"a/pak0.pak", "b/pak0.pak"}, {}, {"a/pak0.pak", "b/pak0.pak"}},
        LayoutRow{"names differing in case only", {"pak0.pak", "PAK0.PAK"}, {}, {}},
        LayoutRow{"the manifest's name below the top folder", {"mod/.kml-manifest"}, u"mod"_s, {}}));

TEST(GameNameTest, RefusesWhatTheEngineWouldNotLoad)
{
    for (const QString &bad : {u""_s, u"baseq2"_s, u"BaseQ2"_s, u".."_s, u"a/b"_s, u"my mod"_s, u"Rogue"_s})
        EXPECT_FALSE(gameNameProblem(bad).isEmpty()) << bad.toStdString();
    EXPECT_EQ(gameNameProblem(u"rocket-arena_2"_s), QString());
    EXPECT_EQ(gameNameFrom(u"  Rocket Arena: 2 "_s), u"rocket-arena-2"_s);
}

// A made-up system: what detection finds where.
TEST(GameSetupTest, DetectsEngineModsFolderAndGameData)
{
    TempFolder root;
    const auto program = [&](const QString &path) {
        root.write(path, "#!/bin/sh\n");
        QFile::setPermissions(root.file(path), QFile::ReadOwner | QFile::ExeOwner);
    };
    const SystemPaths paths{u"/usr/games:/usr/bin"_s, root.file(u"home"_s), root.path()};
    EXPECT_EQ(GameSetup{}.completed(paths).missingForPlay().contains(u"yamagi-quake2"_s), true);

    program(u"usr/lib/yamagi-quake2/quake2"_s);
    root.write(u"usr/share/games/quake2/baseq2/pak0.pak"_s, "pak");
    GameSetup found = GameSetup{}.completed(paths);
    EXPECT_EQ(found.engine, root.file(u"usr/lib/yamagi-quake2/quake2"_s));
    EXPECT_EQ(found.modsFolder, root.file(u"home/.yq2"_s));
    EXPECT_EQ(found.gameData, root.file(u"usr/share/games/quake2"_s));
    EXPECT_EQ(found.missingForPlay(), QString());

    program(u"usr/games/yquake2"_s);
    root.write(u"home/.yq2/baseq2/pak0.pak"_s, "pak");
    found = GameSetup{}.completed(paths);
    EXPECT_EQ(found.engine, root.file(u"usr/games/yquake2"_s));
    EXPECT_EQ(found.gameData, root.file(u"home/.yq2"_s)) << "the mods folder comes first";

    const GameSetup settable{u"flatpak run org.yamagi.YamagiQ2"_s, {}, {}, {}};
    EXPECT_EQ(settable.completed(paths).modsFolder, root.file(u"home/.var/app/org.yamagi.YamagiQ2/.yq2"_s));
    MemorySettingsStore store;
    ASSERT_TRUE(found.save(store));
    EXPECT_EQ(GameSetup::load(store).engine, found.engine);
}

// A mods folder with game data, a mod of the user's and one of ours.
class ModsFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.file(u"trash-home"_s)));
        root.write(u"mods/baseq2/pak0.pak"_s, "game data");
        root.write(u"mods/own/pak0.pak"_s, "the user's own mod");
    }
    ModInstaller::Result install(const QList<ZipEntry> &entries, const QString &game, const QString &name = u"m.zip"_s)
    {
        root.write(u"archives/"_s + name, buildZip(entries));
        return installer.install(root.file(u"archives/"_s + name), game, u"kestrelmoor://list/mods/m.htm"_s);
    }

    TempFolder root;
    ModInstaller installer{root.file(u"mods"_s), root.file(u"engine"_s)};
};

TEST_F(ModsFolder, InstallsUnpacksTheInnerArchiveAndUpgradesInPlace)
{
    const QByteArray inner = buildZip({ZipEntry::file("Maps/Inner.bsp", "inner map")});
    const ModInstaller::Result first =
        install({ZipEntry::file("Arena/PAK0.PAK", "pak"), ZipEntry::file("Arena/game.so", "elf"),
                 ZipEntry::file("Arena/old.cfg", "old"), ZipEntry::stored("Arena/maps.zip", inner)},
                u"arena"_s);
    ASSERT_TRUE(first.ok) << first.message.toStdString();
    EXPECT_EQ(root.read(u"mods/arena/maps/inner.bsp"_s), "inner map");
    EXPECT_FALSE(root.exists(u"mods/arena/maps.zip"_s));
    EXPECT_TRUE(QFileInfo(root.file(u"mods/arena/game.so"_s)).isExecutable());
    ModManifest manifest;
    ASSERT_TRUE(ModManifest::read(root.file(u"mods/arena"_s), &manifest, nullptr));
    EXPECT_EQ(manifest.files.size(), 4);
    EXPECT_EQ(manifest.sourcePage, u"kestrelmoor://list/mods/m.htm"_s);
    EXPECT_TRUE(manifest.files.contains(ModManifest::File{"game.so", 3, manifest.files.at(1).modified,
                                                          QCryptographicHash::hash("elf", QCryptographicHash::Sha256).toHex()}));

    root.write(u"mods/arena/config.cfg"_s, "the engine's");
    const ModInstaller::Result second = install({ZipEntry::file("PAK0.PAK", "pak 2")}, u"arena"_s);
    ASSERT_TRUE(second.ok && second.upgraded) << second.message.toStdString();
    EXPECT_EQ(root.read(u"mods/arena/pak0.pak"_s), "pak 2");
    EXPECT_FALSE(root.exists(u"mods/arena/old.cfg"_s)) << "a file the new version lacks goes";
    EXPECT_EQ(root.read(u"mods/arena/config.cfg"_s), "the engine's");
    EXPECT_EQ(installer.installed().size(), 1);
}

TEST_F(ModsFolder, RefusesFoldersThatAreNotOursAndDamagedRecords)
{
    const FolderSnapshot before = snapshot(root.path());
    root.write(u"engine/ctf/game.so"_s, "engine's own");
    for (const QString &game : {u"own"_s, u"baseq2"_s, u"ctf"_s, u"../own"_s, u"my mod"_s})
        EXPECT_FALSE(install({ZipEntry::file("pak0.pak", "x")}, game).ok) << game.toStdString();
    QFile::remove(root.file(u"engine/ctf/game.so"_s));
    QDir().rmdir(root.file(u"engine/ctf"_s));
    QDir().rmdir(root.file(u"engine"_s));
    QDir(root.file(u"archives"_s)).removeRecursively();
    EXPECT_EQ(snapshot(root.path()), before);

    ASSERT_TRUE(install({ZipEntry::file("pak0.pak", "x")}, u"dm"_s).ok);
    QFile::remove(root.file(u"archives/m.zip"_s));
    const QString record = root.file(u"mods/dm/.kml-manifest"_s);
    for (const QByteArray &damage : {QByteArray("end\n"), QByteArray("../../own/pak0.pak"), QByteArray("pak0.pak\t")}) {
        QFile file(record);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray good = file.readAll();
        QByteArray bad = damage == "end\n" ? good.chopped(4) : QByteArray(good).replace("pak0.pak", damage);
        file.resize(0);
        file.write(bad);
        file.close();
        const FolderSnapshot damaged = snapshot(root.path());
        EXPECT_FALSE(installer.uninstall(u"dm"_s, true).ok) << damage.toStdString();
        EXPECT_FALSE(install({ZipEntry::file("pak0.pak", "y")}, u"dm"_s).ok);
        QFile::remove(root.file(u"archives/m.zip"_s));
        EXPECT_EQ(snapshot(root.path()), damaged) << "a damaged record is never followed";
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(good);
    }
}

TEST_F(ModsFolder, UninstallKeepsWhatTheUserChangedUnlessAsked)
{
    ASSERT_TRUE(install({ZipEntry::file("Mod/pak0.pak", "pak"), ZipEntry::file("Mod/maps/a.bsp", "map"),
                         ZipEntry::file("Mod/autoexec.cfg", "cfg")},
                        u"mod"_s).ok);
    root.write(u"mods/mod/autoexec.cfg"_s, "the user's cfg");
    root.write(u"mods/mod/save/current/game.ssv"_s, "a save");
    const ModInstaller::Check check = installer.checkUninstall(u"mod"_s);
    EXPECT_EQ(check.changed, QStringList{u"autoexec.cfg"_s});
    EXPECT_EQ(check.added, QStringList{u"save/current/game.ssv"_s});

    const ModInstaller::Result kept = installer.uninstall(u"mod"_s, false);
    ASSERT_TRUE(kept.ok) << kept.message.toStdString();
    EXPECT_EQ(kept.removed, 2);
    EXPECT_EQ(snapshot(root.file(u"mods/mod"_s)),
              (FolderSnapshot{{u"autoexec.cfg"_s, "the user's cfg"}, {u"save"_s, "<folder>"},
                              {u"save/current"_s, "<folder>"}, {u"save/current/game.ssv"_s, "a save"}}));

    ASSERT_TRUE(install({ZipEntry::file("pak0.pak", "pak")}, u"other"_s).ok);
    root.write(u"mods/other/config.cfg"_s, "cfg");
    ASSERT_TRUE(installer.uninstall(u"other"_s, true).ok);
    EXPECT_FALSE(root.exists(u"mods/other"_s));
    EXPECT_EQ(root.read(u"trash-home/Trash/files/config.cfg"_s), "cfg") << snapshot(root.path()).keys().join(u' ').toStdString();
    EXPECT_EQ(root.read(u"mods/own/pak0.pak"_s), "the user's own mod");
}

// The engine as a script that records what it was given, and ends as told.
TEST_F(ModsFolder, PlayStartsTheEngineWithTheModAndReportsAQuickEnd)
{
    ASSERT_TRUE(install({ZipEntry::file("pak0.pak", "pak")}, u"dm"_s).ok);
    root.write(u"engine.sh"_s, "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$@\" > \"$0.args\"\n"
                               "echo \"Quake II shouldn't be run as root!\" >&2\nexit $STATUS\n");
    QFile::setPermissions(root.file(u"engine.sh"_s), QFile::ReadOwner | QFile::ExeOwner);
    const GameSetup setup{root.file(u"engine.sh"_s) + u" -portable"_s, root.file(u"mods"_s), root.file(u"mods"_s),
                          u"+set s_sdldriver dummy"_s};
    ModLauncher launcher(root.file(u"logs"_s));
    QSignalSpy failed(&launcher, &ModLauncher::failed);
    QSignalSpy finished(&launcher, &ModLauncher::finished);
    QString error;
    for (const char *status : {"0", "1"}) {
        qputenv("STATUS", status);
        ASSERT_TRUE(launcher.play(setup, u"dm"_s, {u"+quit"_s}, &error)) << error.toStdString();
        WAIT_TRUE(!finished.isEmpty(), 10000);
        finished.clear();
    }
    EXPECT_EQ(root.read(u"engine.sh.args"_s).split('\n'),
              (QList<QByteArray>{QFile::encodeName(root.file(u"mods"_s)), "-portable", "+set", "game", "dm", "+set",
                                 "s_sdldriver", "dummy", "+quit", ""}));
    ASSERT_EQ(failed.size(), 1);
    EXPECT_TRUE(failed.first().at(1).toString().contains(u"refuses to run as root"_s));

    EXPECT_FALSE(launcher.play(setup, u"missing"_s, {}, &error));
    EXPECT_TRUE(error.contains(u"not installed"_s));
    EXPECT_FALSE(launcher.play({u"/no/engine"_s, setup.modsFolder, root.file(u"nodata"_s), {}}, u"dm"_s, {}, &error));
    EXPECT_TRUE(error.contains(u"yamagi-quake2"_s) && error.contains(u"pak0.pak"_s)) << error.toStdString();
}

} // namespace
