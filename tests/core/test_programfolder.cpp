#include "core/programfolder.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QFile>


TEST(ProgramFolder, WritabilityIsTriedNotGuessed)
{
    TempFolder dir;
    dir.write(QStringLiteral("file"), "x");
    EXPECT_TRUE(isWritableFolder(dir.path()));
    EXPECT_FALSE(isWritableFolder(dir.file(QStringLiteral("missing"))));
    EXPECT_FALSE(isWritableFolder(dir.file(QStringLiteral("file"))));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"file"})
        << "the probe leaves nothing behind";
}

TEST(ProgramFolder, WritableExecutableFolderIsTheProgramFolder)
{
    TempFolder exe, user;
    const ProgramFolder folder =
        chooseProgramFolder(exe.path(), isWritableFolder(exe.path()), user.file(QStringLiteral("data")), exe.path());
    EXPECT_EQ(folder.path, exe.path());
    EXPECT_FALSE(folder.perUser);
    EXPECT_FALSE(QFile::exists(user.file(QStringLiteral("data")))) << "nothing is made for the user";
}

TEST(ProgramFolder, InstalledProgramSeedsTheUsersFolderOnceAndNeverOverwrites)
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

    // The user's own files (an updated catalogue, favourites) survive a later start
    // and a newer install; a file the user deleted comes back.
    user.write(QStringLiteral("kestrelmoor-modlist/mods.dat"), "updated by the user");
    user.write(QStringLiteral("kestrelmoor-modlist/favs.dat"), "favourites");
    QFile::remove(user.file(QStringLiteral("kestrelmoor-modlist/defmodlist.dat")));
    installed.write(QStringLiteral("mods.dat"), "newer install");
    const ProgramFolder second = chooseProgramFolder(exe.path(), false, userFolder, installed.path());
    EXPECT_EQ(second.seeded, QStringList{QStringLiteral("defmodlist.dat")});
    EXPECT_EQ(user.read(QStringLiteral("kestrelmoor-modlist/mods.dat")), "updated by the user");
    EXPECT_EQ(user.read(QStringLiteral("kestrelmoor-modlist/favs.dat")), "favourites");
    EXPECT_TRUE(second.error.isEmpty());

    // Nothing half-copied is left behind.
    EXPECT_FALSE(QFile::exists(user.file(QStringLiteral("kestrelmoor-modlist/defmodlist.dat.seeding"))));
}
