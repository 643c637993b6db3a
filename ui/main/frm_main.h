#pragma once

#include "core/catalogue.h"
#include "core/modtreefilter.h"
#include "core/modtreemodel.h"
#include "mainlayout.h"
#include "ui/windows/frm_full.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QToolButton;
class QTreeView;
class Messages;
class SettingsStore;
class Shell;
class Tray;
class Favourites;
class HttpFetcher;
class ListUpdate;
class frm_fav;
class QMenu;
class QAction;
class TreeIconModel;
class frm_about;
class frm_find;
class frm_options;
class WebView;
class WebViewFactory;

// What the main window is given by whoever starts the program.
struct MainContext
{
    QString programFolder;       // holds the data files
    QString listServer;          // scheme and host of the list server
    QString siteAddress;         // the publisher's site
    SettingsStore *settings = nullptr;
    Messages *messages = nullptr;
    WebViewFactory *webViews = nullptr;
    Shell *shell = nullptr;
    Tray *tray = nullptr;
    Favourites *favourites = nullptr; // the program-wide favourites table
    HttpFetcher *fetcher = nullptr;   // downloads for "Update list"
};

// The main window: mod tree, list chooser and web view.
class frm_main final : public QMainWindow, public FullScreenHost
{
    Q_OBJECT

public:
    explicit frm_main(const MainContext &context, QWidget *parent = nullptr);
    ~frm_main() override;

    // Start-up: shows the window, reads the catalogue, selects the first list,
    // builds the tree and opens the start page, then starts Timer1.
    void Form_Load();

    // Makes catalogue row `index` the current list (the chooser's click).
    void modc_Click(int index);
    // Runs once, right after start-up, to apply the start-up options.
    void Timer1_Timer();
    // Rebuilds the mod tree from a mod list file.
    void OpenOptions(const QString &filename);

    QString homeAddress() const override;
    const ModListEntry &currentList() const { return m_current; }
    const QList<ModListEntry> &modlists() const { return m_modlists; }
    const ModTreeModel &treeModel() const { return m_model; }
    QString statusText() const { return m_statusText; }
    int viewmode() const { return m_viewmode; }
    void setViewmode(int mode) override { m_viewmode = mode; }
    QString addressText() const override;
    void takeBackPage(const QString &url) override;
    // The fullscreen window while it is open.
    frm_full *fullWindow() const { return m_full; }
    // The node clicked last, or ModTree::kNoNode when there is none (or the tree
    // was rebuilt since).
    int lastNode() const;
    WebView *web() const { return m_web; }
    QTreeView *treeView() const { return m_tree; }
    // The tree's view-side model (the mod tree model behind the filter and a picture proxy).
    QAbstractItemModel *treeViewModel() const;
    // What the tree shows: the whole mod tree, or the links matching the filter field.
    const ModTreeFilter &treeFilter() const { return *m_filterModel; }
    const MainContext &context() const { return m_ctx; }
    // Opens an address in the main view, exactly as given.
    void navigateMain(const QString &url);

    // Normal state, in front, shown: what a click on the tray icon does.
    void restoreWindow();
    QMenu *trayMenu() const { return m_trayMenu; }

    // Shows the remote control in normal state, making it first when it does
    // not exist ("Show remote control", the tray menu, the ShowFav option).
    void info_Click();
    frm_fav *remoteControl() const;
    // Writes the favourites to favs.dat. When that fails the user chooses:
    // Retry, Discard (end without them) or Cancel; returns false for Cancel.
    bool saveFavourites();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void Form_Resize();
    void fitLabels();
    bool Form_Unload();
    void addfav_Click();
    void Command8_Click();
    // "Update list".
    void Command3_Click();
    // Brings the main window back for a favourite: normal state if minimised, shown, focused.
    void showForFavourite();
    QString favouritesPath() const;
    void tree_NodeClick(const QModelIndex &index);
    // The node behind a row of the tree view, or ModTree::kNoNode.
    int nodeOfRow(const QModelIndex &viewIndex) const;
    QModelIndex rowOfNode(int node) const;
    // The filter field's text changed: shows the matching links, keeping the
    // current node (or else the one opened last) current and in sight when shown.
    void filter_Change(const QString &text);
    // After every reset of the filtered tree (new text, new tree): opens every
    // shown folder while filtering.
    void showFilteredTree();
    void focusFilter();
    // The find dialog found `node`: a filter that hides it is cleared.
    void revealNode(int node);
    // Moves the focus from the filter field into the tree, at the first shown link.
    void enterTreeFromFilter();
    void Command1_Click();
    void Command2_Click();
    void Command4_Click();
    void Command5_Click();
    void Command7_Click();
    void focusAddress();
    void Command6_Click();
    void Command9_Click();
    void full_Click();
    void options_Click();
    void Text1_Enter();
    void web_ProgressChange(int progress, int progressMax);
    void setLabel2FromSettings();

    MainContext m_ctx;
    QList<ModListEntry> m_modlists;
    ModListEntry m_current;
    QString m_statusText;
    int m_viewmode = 1;
    int m_lastNode = -1;
    quint64 m_lastNodeGeneration = 0;
    // Which file the tree was last built from, so that start-up builds it once.
    QString m_treeBuiltFrom;
    QString m_lastNavigated;
    bool m_loading = false;

    ModTreeModel m_model;
    ModTreeFilter *m_filterModel = nullptr;
    TreeIconModel *m_iconModel = nullptr;
    // The folders open when the filter was turned on, opened again when it is
    // cleared, unless the tree was rebuilt in between.
    QList<int> m_expandedBeforeFilter;
    quint64 m_expandedGeneration = 0;
    MainLayout m_layout;

    QWidget *m_client = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLineEdit *m_filter = nullptr;
    QTreeView *m_tree = nullptr;
    QComboBox *m_modc = nullptr;
    QLineEdit *m_text1 = nullptr;
    QProgressBar *m_prog = nullptr;
    QLabel *m_status = nullptr;
    WebView *m_web = nullptr;
    QHash<QString, QWidget *> m_controls;
    QMenu *m_trayMenu = nullptr;
    // The secondary windows, each existing once while open.
    QPointer<frm_full> m_full;
    QPointer<frm_find> m_find;
    QPointer<frm_options> m_options;
    QPointer<frm_about> m_about;
    QPointer<frm_fav> m_fav;
    std::unique_ptr<ListUpdate> m_update;
    QAction *m_mshowrc = nullptr;
    QTimer m_timer1;
};
