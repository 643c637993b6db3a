#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakemessages.h"
#include "support/printers.h"
#include "ui/optionsdialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

// A memory store that also records every write, in order.
class RecordingStore final : public SettingsStore
{
public:
    QString value(const QString &application, const QString &section, const QString &key,
                       const QString &defaultValue) const override
    {
        return values.value(application, section, key, defaultValue);
    }
    bool setValue(const QString &application, const QString &section, const QString &key,
                     const QString &value) override
    {
        saved.append(application + QLatin1Char('/') + section + QLatin1Char('/') + key + QLatin1Char('=') + value);
        return values.setValue(application, section, key, value);
    }

    void set(const QString &key, const QString &value)
    {
        values.setValue(Options::kApplication, Options::kSection, key, value);
    }
    QString get(const QString &key) const
    {
        return values.value(Options::kApplication, Options::kSection, key, QStringLiteral("absent"));
    }

    MemorySettingsStore values;
    QStringList saved;
};

const char *const kBoxes[] = {"Check1", "Check2", "Check3", "Check4", "Check5"};

class OptionsTest : public ::testing::Test
{
protected:
    OptionsDialog &open()
    {
        dialog = new OptionsDialog(store, messages);
        dialog->show();
        return *dialog;
    }
    QCheckBox *box(const char *name) const { return dialog->findChild<QCheckBox *>(QString::fromLatin1(name)); }
    QPushButton *button(const char *name) const { return dialog->findChild<QPushButton *>(QString::fromLatin1(name)); }
    // "10110": the five boxes' states in the order Check1 to Check5.
    QString states() const
    {
        QString out;
        for (const char *name : kBoxes)
            out += box(name)->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
        return out;
    }
    void closeAndDelete()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void TearDown() override { delete dialog.data(); }

    RecordingStore store;
    FakeMessages messages;
    QPointer<OptionsDialog> dialog;
};

} // namespace

TEST_F(OptionsTest, EmptyStoreOpensAllClearWithTheSubOptionDisabled)
{
    open();
    EXPECT_EQ(states(), QStringLiteral("00000"));
    EXPECT_FALSE(box("Check4")->isEnabled());
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Options"));
    EXPECT_EQ(dialog->findChild<QGroupBox *>(QStringLiteral("Frame1"))->title(), QStringLiteral("Options"));
    EXPECT_TRUE(store.saved.isEmpty());
}

TEST_F(OptionsTest, LoadsEachOptionIntoItsBox)
{
    struct Row
    {
        const char *name;
        std::vector<std::pair<QString, const char *>> stored;
        const char *states;
        bool check4Enabled;
    };
    const Row rows[] = {
        {"nothing stored", {}, "00000", false},
        {"RCOnly is read as RConly", {{QStringLiteral("RCOnly"), "1"}}, "00010", false},
        {"sub-option enabled by Check1", {{Options::kShowFav, "1"}, {Options::kRcOnly, "1"}}, "10010", true},
        {"each key its own box",
         {{Options::kFullScreen, "1"}, {Options::kMaximized, "1"}, {Options::kDefBrw, "1"}},
         "01101",
         false},
        {"start-up switches are on at exactly 1", {{Options::kFullScreen, "2"}, {Options::kMaximized, "x"}}, "00000", false},
        {"the browser choice is on at anything but 0", {{Options::kDefBrw, "2"}}, "00001", false},
        {"stored zeros", {{Options::kShowFav, "0"}, {Options::kDefBrw, "0"}}, "00000", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        store.values = MemorySettingsStore();
        for (const auto &[key, value] : row.stored)
            store.set(key, QString::fromLatin1(value));
        open();
        EXPECT_EQ(states(), QString::fromLatin1(row.states));
        EXPECT_EQ(box("Check4")->isEnabled(), row.check4Enabled);
        delete dialog.data();
    }
}

TEST_F(OptionsTest, Check1EnablesCheck4WithoutChangingIt)
{
    open();
    box("Check1")->click();
    ASSERT_TRUE(box("Check4")->isEnabled());
    box("Check4")->click();
    box("Check1")->click();
    EXPECT_FALSE(box("Check4")->isEnabled());
    EXPECT_TRUE(box("Check4")->isChecked());

    button("Command2")->click();
    EXPECT_EQ(store.get(Options::kRcOnly), QStringLiteral("1")) << "a disabled sub-option is saved too";
    EXPECT_EQ(store.get(Options::kShowFav), QStringLiteral("0"));
}

TEST_F(OptionsTest, OkWritesAllFiveInOrderAndCloses)
{
    store.set(Options::kMaximized, QStringLiteral("1"));
    open();
    box("Check5")->click();
    button("Command2")->click();
    closeAndDelete();

    EXPECT_TRUE(dialog.isNull());
    EXPECT_EQ(store.saved, (QStringList{
                               QStringLiteral("DorOdor/Options/ShowFav=0"),
                               QStringLiteral("DorOdor/Options/FullScreen=0"),
                               QStringLiteral("DorOdor/Options/Maximized=1"),
                               QStringLiteral("DorOdor/Options/RCOnly=0"),
                               QStringLiteral("DorOdor/Options/DefBrw=1"),
                           }));
    EXPECT_TRUE(messages.shown.isEmpty());

    // The next opening shows what was saved.
    open();
    EXPECT_EQ(states(), QStringLiteral("00101"));
}

TEST_F(OptionsTest, SavedRcOnlyIsShownAgainAtTheNextOpening)
{
    open();
    box("Check1")->click();
    box("Check4")->click();
    QTest::keyClick(dialog, Qt::Key_Return); // Ok is the default button
    closeAndDelete();
    ASSERT_TRUE(dialog.isNull());
    EXPECT_EQ(store.values.value(Options::kApplication, Options::kSection, QStringLiteral("rconly"), {}),
              QStringLiteral("1"));

    open();
    EXPECT_EQ(states(), QStringLiteral("10010"));
    EXPECT_TRUE(box("Check4")->isEnabled());
}

TEST_F(OptionsTest, CancelAndEscapeSaveNothing)
{
    struct Row
    {
        const char *name;
        std::function<void(OptionsDialog &)> close;
    };
    const Row rows[] = {
        {"Cancel", [this](OptionsDialog &) { button("Command1")->click(); }},
        {"Escape", [](OptionsDialog &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"window closed", [](OptionsDialog &d) { d.close(); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        OptionsDialog &d = open();
        for (const char *name : kBoxes)
            box(name)->click();
        row.close(d);
        closeAndDelete();
        EXPECT_TRUE(dialog.isNull());
        EXPECT_TRUE(store.saved.isEmpty());
    }
}

TEST_F(OptionsTest, FailedSaveIsReportedAndTheDialogStaysOpen)
{
    store.values.setWritable(false);
    open();
    box("Check2")->click();
    button("Command2")->click();
    closeAndDelete();

    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown.first().icon, QMessageBox::Warning);
    EXPECT_EQ(states(), QStringLiteral("01000")) << "the user's choice is kept for another try";

    // Once the store can be written again, Ok saves and closes.
    store.values.setWritable(true);
    button("Command2")->click();
    closeAndDelete();
    EXPECT_TRUE(dialog.isNull());
    EXPECT_EQ(store.get(Options::kFullScreen), QStringLiteral("1"));
    EXPECT_EQ(messages.shown.size(), 1);
}
