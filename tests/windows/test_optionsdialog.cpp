#include "core/options.h"
#include "core/settingsstore.h"
#include "support/fakes.h"
#include "support/tempfolder.h"
#include "ui/optionsdialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class OptionsDialogTest : public ::testing::Test
{
protected:
    void TearDown() override { delete dialog.data(); }

    void open()
    {
        delete dialog.data();
        dialog = new OptionsDialog(settings, messages);
        dialog->show();
    }
    QCheckBox *box(const char *name) const { return dialog->findChild<QCheckBox *>(QString::fromLatin1(name)); }
    void press(const char *button) const { dialog->findChild<QPushButton *>(QString::fromLatin1(button))->click(); }
    // "10110": the boxes in the order in which Ok writes their options.
    QString states() const
    {
        QString out;
        for (const char *name : {"showRemoteAtStartupBox", "fullScreenAtStartupBox", "maximizedAtStartupBox",
                                 "remoteOnlyAtStartupBox", "defaultBrowserBox"})
            out += box(name)->isChecked() ? u'1' : u'0';
        return out;
    }
    // The five options as stored, "-" for one that is not.
    QString stored() const
    {
        QString out;
        for (const QString &key : {Options::kShowFav, Options::kFullScreen, Options::kMaximized, Options::kRcOnly, Options::kDefBrw})
            out += settings.value(Options::kApplication, Options::kSection, key, u"-"_s);
        return out;
    }
    bool closed()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return dialog.isNull();
    }

    MemorySettingsStore settings;
    FakeMessages messages;
    QPointer<OptionsDialog> dialog;
};

} // namespace

// Ok, or Enter, saves all five options, the disabled sub-option too; Cancel,
// Escape and the close box save nothing.
TEST_F(OptionsDialogTest, OkSavesAllFiveAndEveryOtherWayOutNothing)
{
    const struct { const char *name; std::function<void()> leave; const char *stored; } rows[] = {
        {"Ok", [this] { press("okButton"); }, "00111"}, {"Enter", [this] { QTest::keyClick(dialog, Qt::Key_Return); }, "00111"},
        {"Cancel", [this] { press("cancelButton"); }, "--1--"}, {"Escape", [this] { QTest::keyClick(dialog, Qt::Key_Escape); }, "--1--"},
        {"close box", [this] { dialog->close(); }, "--1--"}};
    for (const auto &row : rows) {
        settings = MemorySettingsStore();
        settings.setValue(Options::kApplication, Options::kSection, Options::kMaximized, u"1"_s);
        open();
        box("showRemoteAtStartupBox")->click();
        box("remoteOnlyAtStartupBox")->click();
        box("showRemoteAtStartupBox")->click();
        EXPECT_TRUE(!box("remoteOnlyAtStartupBox")->isEnabled() && box("remoteOnlyAtStartupBox")->isChecked()) << "disabled, not cleared";
        box("defaultBrowserBox")->click();
        row.leave();
        EXPECT_TRUE(closed()) << row.name;
        EXPECT_EQ(stored(), QString::fromLatin1(row.stored)) << row.name;
        open();
        EXPECT_EQ(states(), QString(row.stored).replace(u'-', u'0')) << row.name << ": each box shows its option";
        EXPECT_EQ(box("remoteOnlyAtStartupBox")->isEnabled(), row.stored[0] == '1') << row.name;
    }
}

TEST_F(OptionsDialogTest, AFailedSaveIsSaidAndTheDialogStaysOpenForAnotherTry)
{
    settings.setWritable(false);
    open();
    box("fullScreenAtStartupBox")->click();
    press("okButton");
    EXPECT_FALSE(closed());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(states(), u"01000"_s) << "the choice is kept";
    settings.setWritable(true);
    press("okButton");
    EXPECT_TRUE(closed());
    EXPECT_EQ(stored(), u"01000"_s);
}

// The list server: empty for the built-in list, else a web address with a host,
// stored without the slashes at its end. Anything else is refused at Ok, and
// nothing is saved until it is put right.
TEST_F(OptionsDialogTest, TheListServerIsAWebAddressOrEmpty)
{
    const struct
    {
        const char *typed;
        bool accepted;
        const char *stored;  // after Ok; nullptr: nothing saved
    } rows[] = {
        {"", true, ""},
        {" https://mirror.test:8080/lists/ ", true, "https://mirror.test:8080/lists"},
        {"ftp://mirror.test", false, nullptr},
        {"mirror.test", false, nullptr},
        {"http://", false, nullptr},
        {"kestrelmoor://list", false, nullptr},
    };
    for (const auto &row : rows) {
        settings = MemorySettingsStore();
        messages.shown.clear();
        open();
        auto *field = dialog->findChild<QLineEdit *>(u"listServerField"_s);
        field->setText(QString::fromLatin1(row.typed));
        press("okButton");
        EXPECT_EQ(closed(), row.accepted) << row.typed;
        EXPECT_EQ(messages.shown.size(), row.accepted ? 0 : 1) << row.typed;
        EXPECT_EQ(settings.value(Options::kApplication, Options::kSection, Options::kListServer, u"-"_s),
                  row.stored ? QString::fromLatin1(row.stored) : u"-"_s) << row.typed;
        EXPECT_EQ(stored(), row.accepted ? u"00000"_s : u"-----"_s) << row.typed << ": the other options wait too";
        if (row.accepted) {
            open();
            EXPECT_EQ(dialog->findChild<QLineEdit *>(u"listServerField"_s)->text(), QString::fromLatin1(row.stored))
                << "the field shows what is stored";
        }
    }
}
