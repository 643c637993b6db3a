#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/printers.h"
#include "ui/aboutdialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

class AboutTest : public ::testing::Test
{
protected:
    AboutDialog &open(const QString &site = QStringLiteral("http://site.test"))
    {
        dialog = new AboutDialog(shell, messages, site);
        dialog->show();
        return *dialog;
    }
    QLabel *link() const { return dialog->findChild<QLabel *>(QStringLiteral("Label4")); }
    void clickLink() const { QTest::mouseClick(link(), Qt::LeftButton, {}, QPoint(4, link()->height() / 2)); }
    void deleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void TearDown() override { delete dialog.data(); }

    FakeShell shell;
    FakeMessages messages;
    QPointer<AboutDialog> dialog;
};

} // namespace

TEST_F(AboutTest, LinkOpensTheSiteWithOneSlashEachTimeAndStaysOpen)
{
    struct Row
    {
        const char *site;
        const char *opened;
    };
    const Row rows[] = {
        {"http://site.test", "http://site.test/"},
        {"http://site.test/kestrelmoor/", "http://site.test/kestrelmoor/"},
        {"http://site.test/a?b=1&c=<2>", "http://site.test/a?b=1&c=<2>/"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.site);
        shell.opened.clear();
        open(QString::fromLatin1(row.site));
        EXPECT_EQ(link()->text().contains(QStringLiteral("http://site.test")), true);
        clickLink();
        clickLink();
        EXPECT_EQ(shell.opened, (QStringList{QString::fromLatin1(row.opened), QString::fromLatin1(row.opened)}));
        deleteClosed();
        ASSERT_FALSE(dialog.isNull());
        EXPECT_TRUE(dialog->isVisible());
        delete dialog.data();
    }
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(AboutTest, BrowserThatCannotStartIsReported)
{
    shell.succeed = false;
    open();
    clickLink();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.first().text.contains(QStringLiteral("http://site.test/")));
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(AboutTest, ReturnPictureEnterAndEscapeClose)
{
    struct Row
    {
        const char *name;
        std::function<void(AboutDialog &)> close;
    };
    const Row rows[] = {
        {"Return picture", [](AboutDialog &d) {
             auto *image2 = d.findChild<QPushButton *>(QStringLiteral("Image2"));
             QTest::mouseClick(image2, Qt::LeftButton);
         }},
        {"Enter", [](AboutDialog &d) { QTest::keyClick(&d, Qt::Key_Return); }},
        {"Escape", [](AboutDialog &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        row.close(open());
        deleteClosed();
        EXPECT_TRUE(dialog.isNull());
    }
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(AboutTest, ClicksElsewhereDoNothing)
{
    AboutDialog &d = open();
    for (const char *name : {"Image1", "Label1", "Label2"})
        QTest::mouseClick(d.findChild<QWidget *>(QString::fromLatin1(name)), Qt::LeftButton);
    QTest::mouseClick(&d, Qt::LeftButton, {}, QPoint(d.width() / 2, d.height() - 3));
    deleteClosed();
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(AboutTest, IsAModalBoxWithoutTitleBar)
{
    AboutDialog &d = open();
    EXPECT_TRUE(d.isModal());
    EXPECT_TRUE(d.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(d.findChild<QLabel *>(QStringLiteral("Image1"))->pixmap().size(), QSize(138, 176));
}
