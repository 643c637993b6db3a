#include "core/options.h"
#include "core/settingsstore.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

namespace {

// Both stores must behave alike.
void checkStoreContract(SettingsStore &store)
{
    const QString app = Options::kApplication, sec = Options::kSection;
    auto get = [&](const QString &a, const QString &s, const QString &k) { return store.value(a, s, k, QStringLiteral("-")); };
    EXPECT_EQ(get(app, sec, QStringLiteral("RCOnly")), QStringLiteral("-")) << "an absent entry reads as the default";
    ASSERT_TRUE(store.setValue(app, sec, QStringLiteral("RCOnly"), QStringLiteral("1")));
    EXPECT_EQ(get(QStringLiteral("dorodor"), QStringLiteral("OPTIONS"), QStringLiteral("rconly")), QStringLiteral("1"))
        << "names are compared without regard to case";
    ASSERT_TRUE(store.setValue(app, sec, QStringLiteral("rconly"), QStringLiteral("0")));
    EXPECT_EQ(get(app, sec, QStringLiteral("RCOnly")), QStringLiteral("0")) << "one entry, whatever the case";

    // Two lists keep two dates.
    ASSERT_TRUE(store.setValue(QStringLiteral("q2modlist"), sec, Options::kUpdate, dateStamp(QDate(1999, 7, 4))));
    EXPECT_EQ(updateDate(store, QStringLiteral("Q2MODLIST"), QDate(2020, 1, 1)), QStringLiteral("07-04-1999"));
    EXPECT_EQ(updateDate(store, QStringLiteral("never"), QDate(2020, 2, 3)), QStringLiteral("02-03-2020"));

    // Names with separators stay names; values come back as written.
    ASSERT_TRUE(store.setValue(QStringLiteral("a/b"), sec, QStringLiteral("k"), QStringLiteral("slash")));
    EXPECT_EQ(get(QStringLiteral("a"), QStringLiteral("b/") + sec, QStringLiteral("k")), QStringLiteral("-"));
    ASSERT_TRUE(store.setValue(QString(), QString(), QString(), QStringLiteral("empty names")));
    EXPECT_EQ(get(QString(), QString(), QString()), QStringLiteral("empty names"));
    const QString odd = QString::fromUtf8(" a, b = \xc3\xa4 ;#\\ ");
    ASSERT_TRUE(store.setValue(app, sec, QStringLiteral("odd"), odd));
    EXPECT_EQ(get(app, sec, QStringLiteral("odd")), odd);
}

} // namespace

TEST(SettingsStore, MemoryStoreContract)
{
    MemorySettingsStore store;
    checkStoreContract(store);
}

TEST(SettingsStore, IniStoreContractWithoutACacheAndAcrossRuns)
{
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("conf/modlist.ini"));
    QSettingsStore store(path);
    checkStoreContract(store);
    QSettingsStore other(path); // another run, or another store on the same file
    EXPECT_EQ(other.value(QStringLiteral("q2modlist"), Options::kSection, QStringLiteral("UPDATE"), {}), QStringLiteral("07-04-1999"));
    ASSERT_TRUE(other.setValue(Options::kApplication, Options::kSection, Options::kDefBrw, QStringLiteral("1")));
    EXPECT_EQ(store.value(Options::kApplication, Options::kSection, Options::kDefBrw, {}), QStringLiteral("1"));
}

TEST(SettingsStore, DamagedOrUnwritableStoreFallsBackToDefaults)
{
    TempFolder dir;
    dir.write(QStringLiteral("garbage.ini"), QByteArray("\xff\xfe[[[\0\0=\n=\n[", 13) + QByteArray(10000, '\x01'));
    QSettingsStore garbage(dir.file(QStringLiteral("garbage.ini")));
    EXPECT_EQ(garbage.value(Options::kApplication, Options::kSection, Options::kShowFav, QStringLiteral("0")), QStringLiteral("0"));

    dir.write(QStringLiteral("blocker"), "x"); // the store's folder is a file
    QSettingsStore blocked(dir.file(QStringLiteral("blocker/modlist.ini")));
    EXPECT_FALSE(blocked.setValue(Options::kApplication, Options::kSection, Options::kShowFav, QStringLiteral("1")));
    EXPECT_EQ(blocked.value(Options::kApplication, Options::kSection, Options::kShowFav, QStringLiteral("0")), QStringLiteral("0"));
}

// How every window reads an option: start-up switches are on at the number 1,
// the remote control's browser choice at any number but 0.
TEST(Options, SwitchesReadTheTextAsANumber)
{
    const struct
    {
        const char *stored; // nullptr: absent
        bool on, nonZero;
    } rows[] = {
        {nullptr, false, false}, {"0", false, false}, {"1", true, true},     {"2", false, true},   {" 1 ", true, true},
        {"1.0", true, true},     {"yes", false, false}, {"", false, false}, {"nan", false, false}, {"1e300", false, true},
    };
    for (const auto &row : rows) {
        MemorySettingsStore store;
        if (row.stored)
            store.setValue(Options::kApplication, Options::kSection, Options::kDefBrw, QString::fromLatin1(row.stored));
        EXPECT_EQ(Options::isOn(store, Options::kDefBrw), row.on) << (row.stored ? row.stored : "(absent)");
        EXPECT_EQ(Options::isNonZero(store, Options::kDefBrw), row.nonZero) << (row.stored ? row.stored : "(absent)");
    }
}
