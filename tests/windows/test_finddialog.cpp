#include "core/modlistloader.h"
#include "core/modtreemodel.h"
#include "support/tempfolder.h"
#include "ui/finddialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// Each press examines the nodes from the search position on, in the tree as it
// is at that moment. The dialog reports the node found; the main window selects it.
class FindDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Folders Weapons and Maps (nodes 0 and 1), then Arena One (2) and Big Arena (3).
        load(crlfLines({"[ValidHeader]", "Weapons", "Maps", "---", "Weapons?Arena One?http://w/1", "Maps?Big Arena?http://m/1"}));
        dialog = new FindDialog(model);
        dialog->show();
    }
    void TearDown() override { delete dialog.data(); }

    void load(const QByteArray &list)
    {
        ModTree tree;
        parseModList(list, tree);
        model.setTree(std::move(tree));
    }
    void type(const QString &text) { dialog->findChild<QLineEdit *>(u"searchField"_s)->setText(text); }
    // Presses "Find next" and returns the name found, or "" when nothing was.
    QString press()
    {
        QSignalSpy found(dialog.data(), &FindDialog::nodeFound);
        dialog->findChild<QPushButton *>(u"findNextButton"_s)->click();
        return found.isEmpty() ? QString() : model.tree().text(found.first().first().toInt());
    }

    ModTreeModel model;
    QPointer<FindDialog> dialog;
};

TEST_F(FindDialogTest, StepsThroughMatchingLinkNamesWithoutWrapping)
{
    type(u"ARENA"_s);
    EXPECT_EQ(press(), u"Arena One"_s);
    EXPECT_EQ(dialog->searchPosition(), 4);
    EXPECT_EQ(press(), u"Big Arena"_s);
    EXPECT_EQ(press(), QString()) << "no wrap to the top";
    type(u"ARENAx"_s);
    type(u"ARENA"_s);
    EXPECT_EQ(press(), u"Arena One"_s) << "a change of text, even one taken back, starts again";
    for (const char *text : {"maps", "Arena One and more", "http", " arena one ", "Arena*"}) {
        type(QString::fromLatin1(text));
        EXPECT_EQ(press() + press(), QString()) << text << ": folders, addresses, no trimming, no wildcards";
        EXPECT_EQ(dialog->searchPosition(), 1) << text;
    }
    // The empty text steps through the links in the order they were read.
    load(crlfLines({"[ValidHeader]", "B", "A", "---", "A?a1?u", "B?b1?u", "A?a2?u"}));
    type(QString());
    EXPECT_EQ(QStringList({press(), press(), press(), press()}), (QStringList{u"a1"_s, u"b1"_s, u"a2"_s, QString()}));
}

// A list switched while the dialog is open is searched from the same position on.
TEST_F(FindDialogTest, ATreeRebuiltWhileOpenIsSearchedFromTheSamePosition)
{
    type(u"arena"_s);
    ASSERT_EQ(press(), u"Arena One"_s);
    load(crlfLines({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena Zero?u", "Deathmatch?Old Arena?u", "Deathmatch?Arena Two?u"}));
    EXPECT_EQ(press(), u"Arena Two"_s) << "node 3 is the first examined";
    load(crlfLines({"[ValidHeader]", "Deathmatch", "---", "Deathmatch?Arena?u"}));
    EXPECT_EQ(press(), QString()) << "shorter than the search position";
    model.setTree(ModTree{});
    EXPECT_EQ(press(), QString());
    // A search that found nothing in one tree still finds in the next.
    type(u"railgun"_s);
    EXPECT_EQ(press(), QString());
    load(crlfLines({"[ValidHeader]", "Weapons", "---", "Weapons?Railgun arena?u"}));
    EXPECT_EQ(press(), u"Railgun arena"_s);
}

TEST_F(FindDialogTest, EnterFindsAndEscapeOrReturnCloses)
{
    auto *field = dialog->findChild<QLineEdit *>(u"searchField"_s);
    QSignalSpy found(dialog.data(), &FindDialog::nodeFound);
    QTest::keyClicks(field, u"big"_s);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(found.value(0).value(0).toInt(), 3);
    QTest::keyClick(field, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
    dialog = new FindDialog(model);
    dialog->show();
    dialog->findChild<QPushButton *>(u"returnButton"_s)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}
