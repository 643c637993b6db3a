#pragma once

#include "core/catalogue.h"
#include "core/modtreemodel.h"
#include "mods/gamesetup.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class AboutDialog;
class Favourites;
class FindDialog;
class FullScreenWindow;
class HttpFetcher;
class InstalledModsDialog;
class ModLauncher;
class QPushButton;
class ListUpdate;
class Messages;
class ModTreeFilter;
class ModTreeView;
class NavigationBar;
class OptionsDialog;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QToolButton;
class QTreeView;
class RemoteControl;
class SettingsStore;
class Shell;
class Tray;
class UpdateProgressDialog;
class WebView;
class WebViewFactory;

// What the main window is given by whoever starts the program.
struct MainContext
{
    QString programFolder; // holds the data files
    QString listServer;    // scheme and host of the list server
    QString siteAddress;   // the publisher's site
    SettingsStore *settings = nullptr;
    Messages *messages = nullptr;
    WebViewFactory *webViews = nullptr;
    Shell *shell = nullptr;
    Tray *tray = nullptr;
    Favourites *favourites = nullptr; // the program-wide favourites table
    HttpFetcher *fetcher = nullptr;   // downloads for "Update list"
};

// The main window: the mod tree and the list chooser beside the web view, with
// the browsing row above the view and the list's tools below the tree.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(const MainContext &context, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up: shows the window, installs the tray icon, reads the catalogue,
    // selects the first list (tree, caption, update date, start page) and the
    // favourites; the start-up options follow once the window manager has
    // mapped the window. From then on every change of the favourites is saved.
    void start();

    // Makes catalogue row `index` the current list: caption, start page, tree, update date.
    void selectList(int index);
    // Rebuilds the mod tree from a mod list file.
    void rebuildTree(const QString &listPath);
    // The current list's start page on the list server.
    QString homeAddress() const;
    // Opens an address in the main view and shows it in the address field.
    void openAddress(const QString &url);

    const ModListEntry &currentList() const { return m_current; }
    const ModTreeModel &treeModel() const { return m_model; }
    const ModTreeFilter &treeFilter() const;
    // The node clicked last, or ModTree::kNoNode when there is none (or the tree
    // was rebuilt since).
    int lastNode() const;
    QString statusText() const { return m_statusText; }
    WebView *webView() const { return m_webView; }
    NavigationBar *navigationBar() const { return m_navigationBar; }
    QTreeView *treeView() const;
    QMenu *trayMenu() const { return m_trayMenu; }
    FullScreenWindow *fullScreenWindow() const;
    RemoteControl *remoteControl() const;

    // Normal state, in front, shown: what a click on the tray icon does.
    void showMainWindow();
    // Shows the remote control in normal state, making it first when it does not exist.
    void showRemoteControl();
    void showFullScreenWindow();
    // Writes the favourites to favs.dat. When that fails the user chooses:
    // Retry, Discard (end without them) or Cancel; returns false for Cancel.
    bool saveFavourites();

    // Opens the install dialog for a mod's archive; `sourcePage` is the page it
    // came from ("" for a file), which the tree matches to mark the mod.
    void installArchive(const QString &zipPath, const QString &sourcePage);
    void installModFromFile();
    void showInstalledMods();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    QWidget *buildListPanel();
    QWidget *buildBrowserPanel();
    void buildTrayMenu();
    void setTabOrderForReading();
    // Once the window is mapped (or at once when it starts in the tray): fits it
    // into the screen, maximises it, shows the remote control and the fullscreen
    // window, as the options say.
    void applyStartupOptions();
    void fitIntoScreen();
    // A start: the window's size and place on the screen, and the tree column's width.
    void placeOnScreen();
    void placeTreeColumn();
    bool saveBeforeQuit();
    void showUpdateDate();
    void fitListLabels();

    void openNode(const QModelIndex &index);
    // An address from the list, a favourite or the catalogue opens only when
    // it is a web address (or the built-in list's); else the status bar says so.
    bool acceptListAddress(const QString &url);
    void showRefusal(const QString &message);
    void addFavourite();
    // A change of the favourites goes to favs.dat at once.
    void saveChangedFavourites();
    void configureFavourites();
    void updateList();
    void updateEnded();
    void showFindDialog();
    void showOptionsDialog();
    void showAboutDialog();
    void takeBackPage(const QString &url);
    // A favourite picked in the remote control, or the built-in list's site from
    // the about box, opens in the window that browses.
    void openFavourite(const QString &url);
    void showLoadingStatus(bool loading);
    // The view went to `url`: the tree selects the link with that address (the
    // current one when it has it), without opening it; none when no link has it.
    void followPage(const QString &url);

    // The game setup from the options, with what they leave empty detected.
    GameSetup gameSetup() const;
    // Reads which mods are installed, and marks them in the tree.
    void refreshInstalledMods();
    void playMod(const QString &game);
    void playOpenedMod();
    void showTreeMenu(const QPoint &position);
    // The game folder of the mod whose page the link of `node` is; "" when none.
    QString installedGameOf(int node) const;

    // The filter field's text changed: shows the matching links, keeping the
    // current node (or else the one opened last) current and in sight when shown.
    void filterTree(const QString &text);
    void focusFilterField();
    // Moves the focus from the filter field into the tree, at the first shown link.
    void enterTreeFromFilter();
    // Selects `node` in the tree without opening it, clearing a filter that hides it.
    void selectNode(int node);
    QString favouritesPath() const;
    QString listPath() const;

    MainContext m_ctx;
    QList<ModListEntry> m_catalogue;
    ModListEntry m_current;
    QString m_statusText;
    int m_lastNode = -1;
    bool m_startupOptionsDue = false;
    bool m_treeWidthMoved = false;
    bool m_favouritesUnsaved = false; // the last save failed, and the user was told
    quint64 m_lastNodeGeneration = 0;

    ModTreeModel m_model;

    QSplitter *m_splitter = nullptr;
    QLabel *m_listLabel = nullptr;
    QLabel *m_updatedLabel = nullptr;
    QLineEdit *m_filterField = nullptr;
    ModTreeView *m_treeView = nullptr;
    QComboBox *m_listChooser = nullptr;
    QToolButton *m_updateButton = nullptr;
    NavigationBar *m_navigationBar = nullptr;
    QLabel *m_statusLabel = nullptr;
    WebView *m_webView = nullptr;
    QMenu *m_trayMenu = nullptr;
    // The secondary windows, each existing once while open.
    QPointer<FullScreenWindow> m_fullScreenWindow;
    QPointer<FindDialog> m_findDialog;
    QPointer<OptionsDialog> m_optionsDialog;
    QPointer<InstalledModsDialog> m_installedModsDialog;
    ModLauncher *m_launcher = nullptr;
    QHash<QString, QString> m_installedByPage; // source page -> game folder
    QToolButton *m_playButton = nullptr;
    QPointer<AboutDialog> m_aboutDialog;
    QPointer<RemoteControl> m_remoteControl;
    std::unique_ptr<ListUpdate> m_update;
    // Shown while an update runs, and only then.
    QPointer<UpdateProgressDialog> m_updateProgress;
    bool m_closeAfterUpdate = false;
    bool m_keysBeforeUpdate = false; // this window had the keys when the update began
};
