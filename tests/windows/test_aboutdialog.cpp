#include "support/fakes.h"
#include "support/tempfolder.h"
#include "ui/aboutdialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class AboutDialogTest : public ::testing::Test
{
protected:
    void TearDown() override { delete dialog.data(); }

    void open(const QString &site = u"http://site.test"_s)
    {
        delete dialog.data();
        dialog = new AboutDialog(shell, messages, site);
        dialog->show();
    }
    void clickLink()
    {
        QLabel *link = dialog->findChild<QLabel *>(u"siteLink"_s);
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
    }
    bool closed()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return dialog.isNull();
    }

    FakeShell shell;
    FakeMessages messages;
    QPointer<AboutDialog> dialog;
};

// The link opens the site, with one slash at its end, and the box stays;
// the version shows; "Return", Enter and Escape close it.
TEST_F(AboutDialogTest, TheLinkOpensTheSiteAndTheBoxStaysUntilReturn)
{
    for (const auto &[site, opened] : {std::pair{"http://site.test", "http://site.test/"}, {"http://site.test/km/", "http://site.test/km/"},
                                       {"http://site.test/a?b=1&c=<2>", "http://site.test/a?b=1&c=<2>/"}}) {
        shell.opened.clear();
        open(QString::fromLatin1(site));
        clickLink();
        clickLink();
        EXPECT_EQ(shell.opened, QStringList(2, QString::fromLatin1(opened))) << site;
        EXPECT_FALSE(closed());
    }
    dialog->activateWindow(); // by the keyboard: Shift+Tab from "Return" to the link, and Enter
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    dialog->findChild<QPushButton *>(u"returnButton"_s)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(shell.opened.size(), 3);
    shell.succeed = false;
    clickLink();
    ASSERT_EQ(messages.shown.size(), 1) << "a browser that cannot start is said";
    EXPECT_TRUE(messages.shown[0].text.contains(u"http://site.test/"_s));

    QCoreApplication::setApplicationVersion(u"9.8.7"_s);
    open();
    EXPECT_EQ(dialog->findChild<QLabel *>(u"versionLabel"_s)->text(), u"Version 9.8.7"_s);

    const std::function<void()> ways[] = {[this] { dialog->findChild<QPushButton *>(u"returnButton"_s)->click(); },
                                          [this] { QTest::keyClick(dialog, Qt::Key_Return); },
                                          [this] { QTest::keyClick(dialog, Qt::Key_Escape); }};
    for (const auto &close : ways) {
        open();
        close();
        EXPECT_TRUE(closed());
    }
}

// No browser can open the built-in list's site: the program shows it, and the
// box closes to let it be seen.
TEST_F(AboutDialogTest, TheBuiltInSiteOpensInTheProgram)
{
    open(u"kestrelmoor://list/kestrelmoor"_s);
    QSignalSpy inProgram(dialog.data(), &AboutDialog::openInProgramRequested);
    clickLink();
    ASSERT_EQ(inProgram.size(), 1);
    EXPECT_EQ(inProgram[0][0].toString(), u"kestrelmoor://list/kestrelmoor/"_s);
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_TRUE(closed());
}
