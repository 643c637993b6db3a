#include "core/options.h"
#include "core/settingsstore.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QFileDevice>

namespace {

// Both stores must behave alike; the rows run against each.
void checkStoreContract(SettingsStore &store)
{
    const QString app = Options::kApplication;
    const QString sec = Options::kSection;

    EXPECT_EQ(store.value(app, sec, QStringLiteral("RCOnly"), QStringLiteral("0")), QStringLiteral("0"))
        << "an absent entry reads as the default";
    EXPECT_EQ(store.value(app, sec, QStringLiteral("RCOnly"), QStringLiteral("0")), QStringLiteral("0"))
        << "a read creates nothing";

    ASSERT_TRUE(store.setValue(app, sec, QStringLiteral("RCOnly"), QStringLiteral("1")));
    EXPECT_EQ(store.value(app, sec, QStringLiteral("RConly"), QStringLiteral("0")), QStringLiteral("1"))
        << "names are compared without regard to case";
    EXPECT_EQ(store.value(QStringLiteral("dorodor"), QStringLiteral("OPTIONS"), QStringLiteral("rconly"),
                               QStringLiteral("0")),
              QStringLiteral("1"));

    ASSERT_TRUE(store.setValue(app, sec, QStringLiteral("rconly"), QStringLiteral("0")));
    EXPECT_EQ(store.value(app, sec, QStringLiteral("RCOnly"), QStringLiteral("x")), QStringLiteral("0"))
        << "a save in another case replaces the same entry";

    // Two lists keep two dates; neither touches the options.
    ASSERT_TRUE(store.setValue(QStringLiteral("q2modlist"), sec, Options::kUpdate, QStringLiteral("07-04-1999")));
    ASSERT_TRUE(store.setValue(QStringLiteral("q3modlist"), sec, Options::kUpdate, QStringLiteral("12-31-2001")));
    EXPECT_EQ(updateDate(store, QStringLiteral("q2modlist"), QDate(2020, 1, 1)), QStringLiteral("07-04-1999"));
    EXPECT_EQ(updateDate(store, QStringLiteral("Q3MODLIST"), QDate(2020, 1, 1)), QStringLiteral("12-31-2001"));
    EXPECT_EQ(updateDate(store, QStringLiteral("never"), QDate(2020, 2, 3)), QStringLiteral("02-03-2020"));

    // Names with separators stay names: they cannot reach another entry.
    ASSERT_TRUE(store.setValue(QStringLiteral("a/b"), sec, QStringLiteral("k"), QStringLiteral("slash")));
    EXPECT_EQ(store.value(QStringLiteral("a"), QStringLiteral("b/") + sec, QStringLiteral("k"), QStringLiteral("-")),
              QStringLiteral("-"));
    EXPECT_EQ(store.value(QStringLiteral("a/b"), sec, QStringLiteral("k"), QStringLiteral("-")), QStringLiteral("slash"));
    ASSERT_TRUE(store.setValue(QString(), QString(), QString(), QStringLiteral("empty names")));
    EXPECT_EQ(store.value(QString(), QString(), QString(), QStringLiteral("-")), QStringLiteral("empty names"));

    // Values come back as written, blanks, commas and 8-bit text included.
    const QString odd = QString::fromUtf8(" a, b = \xc3\xa4 ;#\\ ");
    ASSERT_TRUE(store.setValue(app, sec, QStringLiteral("odd"), odd));
    EXPECT_EQ(store.value(app, sec, QStringLiteral("odd"), QString()), odd);
}

} // namespace

TEST(SettingsStore, MemoryStoreContract)
{
    MemorySettingsStore store;
    checkStoreContract(store);
}

TEST(SettingsStore, IniStoreContractAndPersistence)
{
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("conf/modlist.ini"));
    {
        QSettingsStore store(path);
        checkStoreContract(store);
    }
    // A new store on the same file, as at the next start, sees the values.
    QSettingsStore again(path);
    EXPECT_EQ(again.value(QStringLiteral("q2modlist"), QStringLiteral("Options"), QStringLiteral("UPDATE"), QString()),
              QStringLiteral("07-04-1999"));
}

TEST(SettingsStore, NoCacheBetweenTwoStoresOnOneFile)
{
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("modlist.ini"));
    QSettingsStore reader(path);
    QSettingsStore writer(path);
    EXPECT_EQ(reader.value(Options::kApplication, Options::kSection, Options::kDefBrw, QStringLiteral("0")), QStringLiteral("0"));
    ASSERT_TRUE(writer.setValue(Options::kApplication, Options::kSection, Options::kDefBrw, QStringLiteral("1")));
    EXPECT_EQ(reader.value(Options::kApplication, Options::kSection, Options::kDefBrw, QStringLiteral("0")), QStringLiteral("1"));
}

TEST(SettingsStore, DamagedOrUnwritableStoreFallsBackToDefaults)
{
    TempFolder dir;
    const QString app = Options::kApplication;
    const QString sec = Options::kSection;

    // Garbage in the file: reads give defaults, nothing crashes.
    dir.write(QStringLiteral("garbage.ini"), QByteArray("\xff\xfe[[[\0\0=\n=\n[", 13) + QByteArray(10000, '\x01'));
    QSettingsStore garbage(dir.file(QStringLiteral("garbage.ini")));
    EXPECT_EQ(garbage.value(app, sec, Options::kShowFav, QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_FALSE(Options::isOn(garbage, Options::kShowFav));

    // A store whose folder is a file cannot be written, and says so.
    dir.write(QStringLiteral("blocker"), "x");
    QSettingsStore blocked(dir.file(QStringLiteral("blocker/modlist.ini")));
    EXPECT_FALSE(blocked.setValue(app, sec, Options::kShowFav, QStringLiteral("1")));
    EXPECT_EQ(blocked.value(app, sec, Options::kShowFav, QStringLiteral("0")), QStringLiteral("0"));
}

TEST(Options, SwitchesReadTheTextAsANumber)
{
    MemorySettingsStore store;
    struct Row
    {
        const char *stored; // nullptr: absent
        bool on;            // start-up switches: equal to 1
        bool nonZero;       // the remote control's browser choice
    } rows[] = {
        {nullptr, false, false}, {"0", false, false}, {"1", true, true},     {"2", false, true},
        {" 1 ", true, true},     {"1.0", true, true}, {"yes", false, false}, {"", false, false},
        {"nan", false, false},   {"1e300", false, true},
    };
    for (const Row &row : rows) {
        MemorySettingsStore s;
        if (row.stored)
            s.setValue(Options::kApplication, Options::kSection, Options::kDefBrw, QString::fromLatin1(row.stored));
        const char *name = row.stored ? row.stored : "(absent)";
        EXPECT_EQ(Options::isOn(s, Options::kDefBrw), row.on) << name;
        EXPECT_EQ(Options::isNonZero(s, Options::kDefBrw), row.nonZero) << name;
    }
}

TEST(Options, DateStampIsMonthDayYear)
{
    EXPECT_EQ(dateStamp(QDate(1999, 7, 4)), QStringLiteral("07-04-1999"));
    EXPECT_EQ(dateStamp(QDate(2026, 12, 31)), QStringLiteral("12-31-2026"));
}
