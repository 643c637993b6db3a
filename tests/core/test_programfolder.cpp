#include "core/programfolder.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

TEST(ProgramFolder, AWritableExecutableFolderIsTheProgramFolder)
{
    TempFolder exe, user;
    exe.write(QStringLiteral("file"), "x");
    EXPECT_FALSE(isWritableFolder(exe.file(QStringLiteral("missing"))));
    EXPECT_FALSE(isWritableFolder(exe.file(QStringLiteral("file"))));
    const ProgramFolder folder = chooseProgramFolder(exe.path(), isWritableFolder(exe.path()), user.file(QStringLiteral("data")), exe.path());
    EXPECT_EQ(folder.path, exe.path());
    EXPECT_FALSE(folder.perUser);
    EXPECT_FALSE(QFile::exists(user.file(QStringLiteral("data")))) << "nothing is made for the user";
    EXPECT_EQ(QDir(exe.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"file"})
        << "the probe leaves nothing behind";
}

TEST(ProgramFolder, AnInstalledProgramSeedsTheUsersFolderAndNeverOverwrites)
{
    TempFolder exe, installed, user;
    installed.write(QStringLiteral("defmodlist.dat"), "master");
    installed.write(QStringLiteral("mods.dat"), "catalogue");
    installed.write(QStringLiteral("pages/welcome.htm"), "page");
    const QString userFolder = user.file(QStringLiteral("kestrelmoor-modlist"));
    ProgramFolder first = chooseProgramFolder(exe.path(), false, userFolder, installed.path());
    EXPECT_TRUE(first.perUser);
    EXPECT_EQ(first.path, userFolder);
    first.seeded.sort();
    EXPECT_EQ(first.seeded, (QStringList{"defmodlist.dat", "mods.dat", "pages/welcome.htm"}));
    EXPECT_EQ(user.read(QStringLiteral("kestrelmoor-modlist/pages/welcome.htm")), "page");

    // The user's own files survive a later start and a newer install; a deleted one comes back.
    user.write(QStringLiteral("kestrelmoor-modlist/mods.dat"), "updated by the user");
    QFile::remove(user.file(QStringLiteral("kestrelmoor-modlist/defmodlist.dat")));
    installed.write(QStringLiteral("mods.dat"), "newer install");
    const ProgramFolder second = chooseProgramFolder(exe.path(), false, userFolder, installed.path());
    EXPECT_EQ(second.seeded, QStringList{QStringLiteral("defmodlist.dat")});
    EXPECT_EQ(user.read(QStringLiteral("kestrelmoor-modlist/mods.dat")), "updated by the user");
    EXPECT_TRUE(second.error.isEmpty());
    EXPECT_FALSE(QFile::exists(user.file(QStringLiteral("kestrelmoor-modlist/defmodlist.dat.seeding")))) << "nothing half-copied";
}
