#include "core/options.h"
#include "core/favourites.h"
#include "core/settingsstore.h"
#include "support/mainfakes.h"
#include "support/fakemessages.h"
#include "support/fakeshell.h"
#include "support/faketray.h"
#include "support/fakewebview.h"
#include "support/tempfolder.h"
#include "ui/mainwindow.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTreeView>

namespace {

const QString kServer = QStringLiteral("http://127.0.0.1:9");
const QString kSite = QStringLiteral("http://site.test/");
const QString kSettingsError =
    QStringLiteral("Error while loading settings. Click the 'Update list' button to solve the problem.");
const QString kMasterError =
    QStringLiteral("Error while loading Master List. Click the 'Update list' button to solve the problem.");

QByteArray catalogue(std::initializer_list<std::array<const char *, 5>> rows)
{
    QByteArray out = "[ValidHeader]\r\n";
    for (const auto &row : rows) {
        for (const char *field : row)
            out += QByteArray(field) + "\r\n";
    }
    return out;
}

// A program folder, a settings store and the fakes around one main window.
class MainWindowTest : public ::testing::Test, protected MainFakes
{
protected:
    void SetUp() override
    {
        dir.write(QStringLiteral("defmodlist.dat"),
                  crlfLines({"[ValidHeader]", "Master", "---", "Master?Master mod?http://m/1"}));
        dir.write(QStringLiteral("q2modlist.dat"),
                  crlfLines({"[ValidHeader]", "Deathmatch", "Maps", "---", "Deathmatch?Arena pack?http://a/1",
                             "Maps?Big maps?http://a/2"}));
        dir.write(QStringLiteral("mods.dat"),
                  catalogue({{"Quake2", "q2modlist.dat", "http://x/q2.zip", "q2modlist", "welcome.htm"}}));
    }

    MainWindow &start()
    {
        window = std::make_unique<MainWindow>(
            context(dir.path(), kServer, kSite));
        window->Form_Load();
        QCoreApplication::processEvents();
        QTest::qWait(20); // Timer1
        return *window;
    }

    void setOption(const QString &key, const char *value)
    {
        settings.setValue(Options::kApplication, Options::kSection, key, QString::fromLatin1(value));
    }

    FakeWebView &web() { return *views.views.first(); }
    template<typename T> T *control(const char *name) { return window->findChild<T *>(QString::fromLatin1(name)); }
    QString label2() { return control<QLabel>("Label2")->text(); }
    QStringList chooserItems()
    {
        QStringList items;
        auto *modc = control<QComboBox>("modc");
        for (int i = 0; i < modc->count(); ++i)
            items.append(modc->itemText(i));
        return items;
    }

    TempFolder dir;
    std::unique_ptr<MainWindow> window;
};

const QString today() { return dateStamp(QDate::currentDate()); }

} // namespace

TEST_F(MainWindowTest, EmptyStoreStartsWithTheFirstListAndItsStartPage)
{
    MainWindow &w = start();
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrelmoor - Mod List - Quake2"));
    EXPECT_EQ(chooserItems(), QStringList{QStringLiteral("Quake2")});
    EXPECT_EQ(label2(), QStringLiteral("updated: ") + today());
    EXPECT_EQ(w.statusText(), QStringLiteral("Welcome to Kestrelmoor's Mod List. Visit Kestrelmoor at: ") + kSite);
    EXPECT_EQ(control<QLabel>("StatusBar1")->text(), w.statusText());
    EXPECT_EQ(w.viewmode(), 1);

    const QString home = kServer + QStringLiteral("/kestrelmoor/modlist/welcome.htm");
    EXPECT_EQ(w.homeAddress(), home);
    EXPECT_EQ(web().navigations, QStringList{home}) << "the start page is opened once";
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), home);

    EXPECT_EQ(w.treeModel().tree().count(), 4);
    EXPECT_EQ(w.treeModel().tree().text(0), QStringLiteral("Deathmatch"));
    EXPECT_FALSE(w.isMinimized());
    EXPECT_FALSE(w.isMaximized());
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(control<QProgressBar>("prog")->isVisible());
    // Settings were only read.
    EXPECT_EQ(settings.size(), 0);
}

TEST_F(MainWindowTest, MissingCatalogueShowsItsMessageOnceAndUsesTheBuiltInList)
{
    QFile::remove(dir.file(QStringLiteral("mods.dat")));
    MainWindow &w = start();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].text, kSettingsError);
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages.shown[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(chooserItems(), QStringList{QStringLiteral("Quake2")});
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrelmoor - Mod List - Quake2"));
    EXPECT_EQ(w.currentList().archiveUrl, kServer + QStringLiteral("/kestrelmoor/modlist/q2modlist.zip"));
    EXPECT_EQ(w.treeModel().tree().count(), 4) << "q2modlist.dat is still there";
}

TEST_F(MainWindowTest, BadListFileWarnsOnceAtStartUpAndShowsTheMasterList)
{
    dir.write(QStringLiteral("q2modlist.dat"), crlfLines({"[VALIDHEADER]", "X"}));
    MainWindow &w = start();
    EXPECT_EQ(messages.count(kMasterError), 1);
    EXPECT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(w.treeModel().tree().text(0), QStringLiteral("Master"));

    // A missing list file falls back silently.
    QFile::remove(dir.file(QStringLiteral("q2modlist.dat")));
    messages.shown.clear();
    w.modc_Click(0);
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(w.treeModel().tree().text(0), QStringLiteral("Master"));
}

TEST_F(MainWindowTest, WindowStateOptions)
{
    setOption(Options::kMaximized, "1");
    EXPECT_TRUE(start().isMaximized());

    window.reset();
    setOption(Options::kRcOnly, "1");
    MainWindow &w = start();
    EXPECT_TRUE(w.isMinimized()) << "RCOnly is applied after Maximized";

    window.reset();
    setOption(Options::kMaximized, "0");
    setOption(Options::kRcOnly, "2");
    MainWindow &normal = start();
    EXPECT_FALSE(normal.isMinimized()) << "only the number 1 switches an option on";
    EXPECT_FALSE(normal.isMaximized());
}

TEST_F(MainWindowTest, ChoosingAListSwitchesCaptionStartPageTreeAndDate)
{
    dir.write(QStringLiteral("mods.dat"),
              catalogue({{"Quake2", "q2modlist.dat", "http://x/q2.zip", "q2modlist", "welcome.htm"},
                         {"Quake3", "q3modlist.dat", "http://x/q3.zip", "q3modlist", "q3start.htm"}}));
    dir.write(QStringLiteral("q3modlist.dat"), crlfLines({"[ValidHeader]", "Arena", "---", "Arena?OSP?http://o/1"}));
    settings.setValue(QStringLiteral("q2modlist"), Options::kSection, Options::kUpdate, QStringLiteral("01-02-2003"));
    settings.setValue(QStringLiteral("Q3MODLIST"), Options::kSection, QStringLiteral("UPDATE"), QStringLiteral("04-05-2006"));

    MainWindow &w = start();
    EXPECT_EQ(chooserItems(), (QStringList{QStringLiteral("Quake2"), QStringLiteral("Quake3")}));
    EXPECT_EQ(label2(), QStringLiteral("updated: 01-02-2003"));

    // The user picks the second item.
    auto *modc = control<QComboBox>("modc");
    modc->setCurrentIndex(1);
    Q_EMIT modc->activated(1);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrelmoor - Mod List - Quake3"));
    EXPECT_EQ(web().navigations.last(), kServer + QStringLiteral("/kestrelmoor/modlist/q3start.htm"));
    EXPECT_EQ(w.treeModel().tree().text(0), QStringLiteral("Arena"));
    EXPECT_EQ(w.treeModel().tree().count(), 2);
    EXPECT_EQ(label2(), QStringLiteral("updated: 04-05-2006"));
    EXPECT_EQ(w.currentList().archiveUrl, QStringLiteral("http://x/q3.zip"));
    EXPECT_EQ(chooserItems().size(), 2) << "the chooser keeps the items read at start-up";

    w.modc_Click(0);
    EXPECT_EQ(label2(), QStringLiteral("updated: 01-02-2003"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrelmoor - Mod List - Quake2"));
}

TEST_F(MainWindowTest, ClickingNodes)
{
    MainWindow &w = start();
    auto *tree = control<QTreeView>("tree");
    tree->expandAll();
    QCoreApplication::processEvents();
    const int before = int(web().navigations.size());

    auto clickRow = [&](const QModelIndex &index) {
        ASSERT_TRUE(index.isValid());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
    };
    const QModelIndex folder = tree->model()->index(0, 0);
    clickRow(folder);
    EXPECT_EQ(web().navigations.size(), before) << "a folder opens nothing";
    EXPECT_EQ(w.lastNode(), 0);

    clickRow(tree->model()->index(0, 0, folder));
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://a/1"));
    EXPECT_EQ(w.lastNode(), 2);

    // Enter on a node is a click from the keyboard.
    const QModelIndex maps = tree->model()->index(1, 0);
    tree->setCurrentIndex(tree->model()->index(0, 0, maps));
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(web().navigations.last(), QStringLiteral("http://a/2"));
    EXPECT_EQ(w.lastNode(), 3);

    // A rebuilt tree forgets the node.
    w.OpenOptions(dir.file(QStringLiteral("q2modlist.dat")));
    EXPECT_EQ(w.lastNode(), ModTree::kNoNode);
}

TEST_F(MainWindowTest, ProgressEventsDriveAddressBarProgressAndStatus)
{
    MainWindow &w = start();
    auto *prog = control<QProgressBar>("prog");
    auto *status = control<QLabel>("StatusBar1");
    web().navigate(QStringLiteral("http://a/page"));
    web().reportProgress(40, 100);
    EXPECT_TRUE(prog->isVisible());
    EXPECT_EQ(prog->value(), 40);
    EXPECT_EQ(prog->maximum(), 100);
    EXPECT_EQ(status->text(), QStringLiteral("Downloading..."));
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), QStringLiteral("http://a/page"));

    web().reportProgress(-1, 100);
    EXPECT_FALSE(prog->isVisible());
    EXPECT_EQ(status->text(), w.statusText());
    web().reportProgress(5, 0);
    EXPECT_FALSE(prog->isVisible());
}

TEST_F(MainWindowTest, EnterInTheAddressFieldOpensTheTextAsTyped)
{
    start();
    auto *text1 = control<QLineEdit>("Text1");
    text1->setText(QStringLiteral("  not even a url "));
    QTest::keyClick(text1, Qt::Key_Return);
    EXPECT_EQ(web().navigations.last(), QStringLiteral("  not even a url "));
    text1->clear();
    QTest::keyClick(text1, Qt::Key_Return);
    EXPECT_EQ(web().navigations.last(), QString());
}
