#include "mainwindow.h"

#include "aboutdialog.h"
#include "buttonpictures.h"
#include "core/favourites.h"
#include "core/listserver.h"
#include "core/modlistloader.h"
#include "core/modtreefilter.h"
#include "core/options.h"
#include "core/programfiles.h"
#include "core/settingsstore.h"
#include "designunits.h"
#include "favouritesdialog.h"
#include "finddialog.h"
#include "fullscreenwindow.h"
#include "installdialog.h"
#include "installedmodsdialog.h"
#include "mods/modinstaller.h"
#include "mods/modlauncher.h"
#include "modtreeview.h"
#include "navigationbar.h"
#include "optionsdialog.h"
#include "platform/appicon.h"
#include "platform/messages.h"
#include "platform/tray.h"
#include "platform/webview.h"
#include "remotecontrol.h"
#include "update/listupdate.h"
#include "updateprogressdialog.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>

#include <utility>

namespace {

// Where the user left the line between the tree and the page, in twips.

// How long a passing message stays in the status bar.
constexpr int kStatusMessageMs = 5000;

void bringForward(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

// The selection stays visible while another window (the find dialog) has the focus.
void keepSelectionColoursWhenInactive(QTreeView *view, const QPalette &from)
{
    QPalette palette = view->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, from.color(QPalette::Active, role));
    view->setPalette(palette);
}

} // namespace

MainWindow::MainWindow(const MainContext &context, QWidget *parent) : QMainWindow(parent), m_ctx(context)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(tr("Quake2 - Mod List"));
    setWindowIcon(appIcon());
    buildControls();
    connect(m_ctx.tray, &Tray::restoreRequested, this, &MainWindow::showMainWindow);
}

MainWindow::~MainWindow()
{
    // The fullscreen window and the remote control have no parent (so that
    // minimising this window does not take them along) but call back into it.
    delete m_fullScreenWindow.data();
    delete m_remoteControl.data();
}

FullScreenWindow *MainWindow::fullScreenWindow() const
{
    return m_fullScreenWindow;
}

RemoteControl *MainWindow::remoteControl() const
{
    return m_remoteControl;
}

void MainWindow::buildControls()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(buildListPanel());
    m_splitter->addWidget(buildBrowserPanel());
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    // A long site address is cut rather than widening the window's minimum.
    m_statusLabel->setMinimumWidth(1);
    m_statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_statusLabel, 1);
    statusBar()->setSizeGripEnabled(true);

    // Keys a browser user expects, beside the buttons. Only while the focus is
    // in this window: Qt would give them the find dialog's keys too (Escape).
    m_navigationBar->addShortcuts(this);
    auto addShortcut = [this](const QKeySequence &keys, void (MainWindow::*slot)()) {
        auto *shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), &MainWindow::showFindDialog);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_K), &MainWindow::focusFilterField);
    addShortcut(QKeySequence(Qt::Key_F11), &MainWindow::showFullScreenWindow);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), &MainWindow::addFavourite);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_U), &MainWindow::updateList);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), &MainWindow::showRemoteControl);
    addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B), &MainWindow::configureFavourites);

    buildTrayMenu();
    setTabOrderForReading();
    m_treeView->setFocus();

    connect(m_splitter, &QSplitter::splitterMoved, this, [this] { m_treeWidthMoved = true; });
}

void MainWindow::placeOnScreen()
{
    const QScreen *s = screen();
    if (!s)
        return;
    // Two thirds of the screen's free area, centred, never less than the
    // window needs. The window manager has not framed the window yet: room for
    // a title bar is left here, and the real frame is fitted in once it is
    // mapped.
    const QRect area = s->availableGeometry();
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    const QSize room = (area.size() - QSize(0, titleBar)).expandedTo(QSize(1, 1));
    resize(QSize(area.width() * 2 / 3, area.height() * 2 / 3).expandedTo(minimumSizeHint()).boundedTo(room));
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - titleBar - height()) / 2);
}

void MainWindow::placeTreeColumn()
{
    // Where the user left the line, or else as wide as the list's names need,
    // up to a third of the window.
    bool stored = false;
    const double storedTwips =
        m_ctx.settings->value(Options::kApplication, Options::kSection, Options::kTreeWidth, QString())
            .toDouble(&stored);
    const QMargins margins = m_treeView->parentWidget()->contentsMargins();
    const int treeWidth = stored && storedTwips > 0 && storedTwips < 1e6
                              ? fromTwips(storedTwips, this)
                              : m_treeView->widthForNames(width() / 3) + margins.left() + margins.right();
    m_splitter->setSizes({treeWidth, std::max(width() - treeWidth, 1)});
}

QWidget *MainWindow::buildListPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("listPanel"));

    // The label row is as tall as an 8 point line; a larger font would be cut.
    QFont small = font();
    small.setPointSizeF(std::min(small.pointSizeF(), 8.0));
    m_listLabel = new QLabel(tr("Mod list:"), panel);
    m_listLabel->setObjectName(QStringLiteral("listLabel"));
    QFont bold = small;
    bold.setBold(true);
    m_listLabel->setFont(bold);
    m_updatedLabel = new QLabel(updatedLabelText(tr("Unknown")), panel);
    m_updatedLabel->setObjectName(QStringLiteral("updatedLabel"));
    m_updatedLabel->setFont(small);
    m_updatedLabel->setMinimumWidth(0);
    m_updatedLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_filterField = new QLineEdit(panel);
    m_filterField->setObjectName(QStringLiteral("filterField"));
    m_filterField->setPlaceholderText(tr("Filter mods"));
    m_filterField->setAccessibleName(tr("Filter mods"));
    m_filterField->setToolTip(tr("Shows only the mods whose name contains this text (Ctrl+K)"));
    m_filterField->setClearButtonEnabled(true);
    connect(m_filterField, &QLineEdit::textChanged, this, &MainWindow::filterTree);
    // Esc clears the field; Down and Enter go on into the tree.
    m_filterField->installEventFilter(this);

    m_treeView = new ModTreeView(m_model, panel);
    m_treeView->setObjectName(QStringLiteral("modTree"));
    m_treeView->setAccessibleName(tr("Mods"));
    keepSelectionColoursWhenInactive(m_treeView, m_treeView->palette());
    connect(m_treeView, &QTreeView::clicked, this, &MainWindow::openNode);
    m_treeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_treeView, &QWidget::customContextMenuRequested, this, &MainWindow::showTreeMenu);
    // A filter that leaves nothing says so, in place of a bare empty tree.
    auto *noMatch = new QLabel(tr("No mods match"), m_treeView->viewport());
    noMatch->setObjectName(QStringLiteral("noMatchLabel"));
    noMatch->setEnabled(false);
    noMatch->setAlignment(Qt::AlignCenter);
    noMatch->setAttribute(Qt::WA_TransparentForMouseEvents);
    noMatch->hide();
    (new QVBoxLayout(m_treeView->viewport()))->addWidget(noMatch, 0, Qt::AlignTop);
    connect(&m_treeView->filter(), &QAbstractItemModel::modelReset, noMatch, [this, noMatch] {
        const ModTreeFilter &filter = m_treeView->filter();
        noMatch->setVisible(filter.isFiltering() && filter.shownLinkCount() == 0);
    });
    // Enter on a node does what a click does, for keyboard users.
    m_treeView->installEventFilter(this);

    m_listChooser = new QComboBox(panel);
    m_listChooser->setObjectName(QStringLiteral("listChooser"));
    connect(m_listChooser, &QComboBox::activated, this, &MainWindow::selectList);
    m_listLabel->setBuddy(m_listChooser);

    auto addTool = [panel](const char *name, const QString &tip, const QString &picture) {
        auto *button = new QToolButton(panel);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        button->setIcon(buttonPicture(picture));
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        return button;
    };
    m_updateButton = addTool("updateButton", tr("Update list"), QStringLiteral("update"));
    connect(m_updateButton, &QToolButton::clicked, this, &MainWindow::updateList);
    auto *tools = new QHBoxLayout;
    tools->setSpacing(0);
    tools->addWidget(m_updateButton);
    const struct
    {
        const char *name;
        QString tip;
        const char *picture;
        void (MainWindow::*action)();
    } toolButtons[] = {
        {"findButton", tr("Find mod"), "find", &MainWindow::showFindDialog},
        {"addFavouriteButton", tr("Add to favourites"), "addfav", &MainWindow::addFavourite},
        {"optionsButton", tr("Options"), "options", &MainWindow::showOptionsDialog},
        {"configureFavouritesButton", tr("Configure favourites"), "configfav", &MainWindow::configureFavourites},
        {"remoteControlButton", tr("Show remote control"), "remote", &MainWindow::showRemoteControl},
    };
    for (const auto &tool : toolButtons) {
        QToolButton *button = addTool(tool.name, tool.tip, QString::fromLatin1(tool.picture));
        connect(button, &QToolButton::clicked, this, tool.action);
        tools->addWidget(button);
    }
    // The mods: install from a file, the installed ones, the tree's filter.
    QToolButton *mods = addTool("modsButton", tr("Mods"), QStringLiteral("mods"));
    mods->setPopupMode(QToolButton::InstantPopup);
    auto *modsMenu = new QMenu(mods);
    QAction *installAction = modsMenu->addAction(tr("&Install mod from file…"), this, &MainWindow::installModFromFile);
    installAction->setObjectName(QStringLiteral("installModFromFileAction"));
    QAction *installedAction = modsMenu->addAction(tr("Installed &mods…"), this, &MainWindow::showInstalledMods);
    installedAction->setObjectName(QStringLiteral("showInstalledModsAction"));
    // The tree's filter "Installed": only the links of installed mods.
    QAction *installedOnly = modsMenu->addAction(tr("Show only i&nstalled mods in the tree"));
    installedOnly->setObjectName(QStringLiteral("installedFilterAction"));
    installedOnly->setCheckable(true);
    connect(installedOnly, &QAction::toggled, m_treeView, &ModTreeView::showOnlyInstalled);
    mods->setMenu(modsMenu);
    tools->addStretch(1);

    auto *labels = new QHBoxLayout;
    labels->setSpacing(4);
    labels->addWidget(m_listLabel);
    labels->addWidget(m_updatedLabel, 1);

    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(2, 0, 0, 4);
    layout->setSpacing(3);
    layout->addLayout(labels);
    auto *filterRow = new QHBoxLayout;
    filterRow->setSpacing(2);
    filterRow->addWidget(m_filterField, 1);
    filterRow->addWidget(mods);
    layout->addLayout(filterRow);
    layout->addWidget(m_treeView, 1);
    layout->addWidget(m_listChooser);
    layout->addLayout(tools);
    // The updated label shrinks its font to the room it is given.
    panel->installEventFilter(this);
    return panel;
}

QWidget *MainWindow::buildBrowserPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("browserPanel"));
    m_webView = m_ctx.webViews->create(panel);
    m_webView->setObjectName(QStringLiteral("webView"));
    m_webView->setAccessibleName(tr("Web page"));
    m_navigationBar = new NavigationBar(
        *m_webView, [this] { return homeAddress(); }, panel);
    connect(m_navigationBar, &NavigationBar::loadingChanged, this, &MainWindow::showLoadingStatus);
    connect(m_navigationBar, &NavigationBar::addressRefused, this, &MainWindow::showRefusal);
    connect(m_navigationBar, &NavigationBar::pageAddressChanged, this, &MainWindow::followPage);

    auto *info = new QPushButton(tr("Info"), panel);
    info->setObjectName(QStringLiteral("infoButton"));
    info->setToolTip(tr("Info"));
    info->setAutoDefault(false);
    connect(info, &QPushButton::clicked, this, &MainWindow::showAboutDialog);
    auto *full = new QPushButton(tr("Full"), panel);
    full->setObjectName(QStringLiteral("fullScreenButton"));
    full->setToolTip(tr("Fullscreen mode"));
    full->setAutoDefault(false);
    connect(full, &QPushButton::clicked, this, &MainWindow::showFullScreenWindow);
    // Play shows while the page of an installed mod is open.
    m_playButton = new QToolButton(panel);
    m_playButton->setText(tr("&Play"));
    m_playButton->setObjectName(QStringLiteral("playButton"));
    m_playButton->setToolTip(tr("Starts the game with this mod (open the page of an installed mod)"));
    m_playButton->hide();
    connect(m_playButton, &QToolButton::clicked, this, &MainWindow::playOpenedMod);

    // As wide as their captions, however wide the style makes buttons: the
    // address field takes the rest of the row.
    for (QPushButton *button : {info, full})
        button->setMaximumWidth(button->fontMetrics().horizontalAdvance(button->text()) +
                                3 * button->fontMetrics().height() / 2);

    auto *top = new QHBoxLayout;
    top->setSpacing(4);
    top->addWidget(m_navigationBar, 1);
    top->addSpacing(4);
    top->addWidget(m_playButton);
    top->addWidget(info);
    top->addWidget(full);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 3, 6, 4);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(m_webView, 1);
    return panel;
}

void MainWindow::buildTrayMenu()
{
    m_trayMenu = new QMenu(tr("traymenu"), this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    QAction *showList = m_trayMenu->addAction(tr("Show &Mod List"));
    showList->setObjectName(QStringLiteral("showMainWindowAction"));
    connect(showList, &QAction::triggered, this, &MainWindow::showMainWindow);
    QAction *showRemote = m_trayMenu->addAction(tr("&Show remote control"));
    showRemote->setObjectName(QStringLiteral("showRemoteControlAction"));
    connect(showRemote, &QAction::triggered, this, &MainWindow::showRemoteControl);
    m_trayMenu->addSeparator();
    QAction *quit = m_trayMenu->addAction(tr("&Close"));
    quit->setObjectName(QStringLiteral("quitAction"));
    connect(quit, &QAction::triggered, this, &MainWindow::close);
}

void MainWindow::setTabOrderForReading()
{
    // Keyboard and screen readers: Tab goes in reading order, the browsing row
    // first, then the list's side, the page, and the list's tools (the mods'
    // menu last, though it stands beside the filter field: Tab goes on from the
    // filter into the tree).
    const QStringList order = {QStringLiteral("backButton"),
                               QStringLiteral("forwardButton"),
                               QStringLiteral("homeButton"),
                               QStringLiteral("refreshButton"),
                               QStringLiteral("stopButton"),
                               QStringLiteral("addressField"),
                               QStringLiteral("playButton"),
                               QStringLiteral("infoButton"),
                               QStringLiteral("fullScreenButton"),
                               QStringLiteral("filterField"),
                               QStringLiteral("modTree"),
                               QStringLiteral("webView"),
                               QStringLiteral("listChooser"),
                               QStringLiteral("updateButton"),
                               QStringLiteral("findButton"),
                               QStringLiteral("addFavouriteButton"),
                               QStringLiteral("optionsButton"),
                               QStringLiteral("configureFavouritesButton"),
                               QStringLiteral("remoteControlButton"),
                               QStringLiteral("modsButton")};
    QWidget *previous = nullptr;
    for (const QString &name : order) {
        QWidget *widget = findChild<QWidget *>(name);
        if (previous && widget)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void MainWindow::start()
{
    placeOnScreen();
    // Only the tray: minimised before it is mapped, so that the window never shows.
    if (Options::isOn(*m_ctx.settings, Options::kRemoteControlOnly))
        setWindowState(windowState() | Qt::WindowMinimized);
    show();
    m_ctx.tray->install(windowIcon(), tr("Mod List"), m_trayMenu);

    m_statusText = tr("Welcome to Kestrelmoor's Mod List. Visit Kestrelmoor at: ") + m_ctx.siteAddress;
    m_statusLabel->setText(m_statusText);
    refreshInstalledMods();

    const CatalogueLoad catalogue = loadCatalogue(ProgramFiles::inFolder(m_ctx.programFolder, ProgramFiles::kCatalogue),
                                                  defaultCatalogueRow(m_ctx.listServer));
    m_catalogue = catalogue.rows;
    m_listChooser->clear();
    for (const ModListEntry &row : std::as_const(m_catalogue))
        m_listChooser->addItem(row.listName);
    if (catalogue.usedDefault) {
        m_ctx.messages->show(this, QMessageBox::Critical, tr("Error"),
                             tr("Error while loading settings. Click the 'Update list' button to solve the problem."),
                             QMessageBox::Ok);
    }

    // The first list: its tree, caption, update date and start page, each once.
    m_listChooser->setCurrentIndex(0);
    selectList(0);
    placeTreeColumn();

    // What the table could not take in is kept, and said once.
    const FavouritesLoad favourites = m_ctx.favourites->load(favouritesPath());
    if (!favourites.notice.isEmpty())
        m_ctx.messages->show(this, QMessageBox::Warning, tr("Favourites"), favourites.notice, QMessageBox::Ok);
    // From now on every change reaches favs.dat at once, so that a crash or a
    // power cut loses none.
    connect(m_ctx.favourites, &Favourites::added, this, &MainWindow::saveChangedFavourites);
    connect(m_ctx.favourites, &Favourites::replaced, this, &MainWindow::saveChangedFavourites);

    // The window states and the other windows wait until the window manager has
    // mapped this window: one that has not taken it yet ignores a maximise. A
    // window mapped fully covered is never exposed, hence the late fallback.
    m_startupOptionsDue = true;
    if (isMinimized() || !windowHandle()) {
        QTimer::singleShot(0, this, &MainWindow::applyStartupOptions);
    } else {
        windowHandle()->installEventFilter(this);
        QTimer::singleShot(3000, this, &MainWindow::applyStartupOptions);
    }
}

void MainWindow::selectList(int index)
{
    if (index < 0 || index >= m_catalogue.size())
        return;
    m_current = m_catalogue.at(index);
    setWindowTitle(tr("Kestrelmoor - Mod List - ") + m_current.listName);
    if (acceptListAddress(homeAddress()))
        openAddress(homeAddress());
    rebuildTree(listPath());
    showUpdateDate();
}

void MainWindow::applyStartupOptions()
{
    if (!std::exchange(m_startupOptionsDue, false))
        return;
    if (windowHandle())
        windowHandle()->removeEventFilter(this);
    fitIntoScreen();
    if (Options::isOn(*m_ctx.settings, Options::kStartMaximized))
        setWindowState(windowState() | Qt::WindowMaximized);
    if (Options::isOn(*m_ctx.settings, Options::kShowRemoteControl))
        showRemoteControl();
    if (Options::isOn(*m_ctx.settings, Options::kStartFullScreen))
        showFullScreenWindow();
    if (Options::isOn(*m_ctx.settings, Options::kRemoteControlOnly))
        setWindowState(windowState() | Qt::WindowMinimized);
}

void MainWindow::fitIntoScreen()
{
    // The frame is known now: the whole window, title bar included, goes
    // inside the screen's free area, as far as the minimum size allows.
    const QScreen *s = screen();
    if (!s || isMinimized() || isMaximized() || isFullScreen())
        return;
    const QRect area = s->availableGeometry();
    const QRect frame = frameGeometry();
    if (area.contains(frame))
        return;
    const QSize frameExtra = frame.size() - size();
    resize(size().boundedTo(area.size() - frameExtra).expandedTo(minimumSize()));
    const QSize outer = size() + frameExtra;
    move(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
         std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
}

void MainWindow::rebuildTree(const QString &path)
{
    ModTree tree;
    loadModList(path, m_ctx.programFolder, tree, [this] {
        m_ctx.messages->show(
            this, QMessageBox::Critical, tr("Error"),
            tr("Error while loading Master List. Click the 'Update list' button to solve the problem."),
            QMessageBox::Ok);
    });
    m_model.setTree(std::move(tree));
}

QString MainWindow::homeAddress() const
{
    return m_ctx.listServer + ProgramFiles::kListPath + m_current.startPage;
}

QString MainWindow::listPath() const
{
    return m_ctx.programFolder + QLatin1Char('/') + m_current.listFile;
}

QString MainWindow::favouritesPath() const
{
    return ProgramFiles::inFolder(m_ctx.programFolder, ProgramFiles::kFavourites);
}

int MainWindow::lastNode() const
{
    if (m_lastNodeGeneration != m_model.generation() || !m_model.tree().isValid(m_lastNode))
        return ModTree::kNoNode;
    return m_lastNode;
}

void MainWindow::showUpdateDate()
{
    m_updatedLabel->setText(
        updatedLabelText(updateDate(*m_ctx.settings, m_current.settingsName, QDate::currentDate())));
    fitListLabels();
}

void MainWindow::fitListLabels()
{
    // The date must neither be cut nor run out of its column in a font wider
    // than the design's: the label's font shrinks to the room it has.
    QFont font = m_listLabel->font();
    font.setBold(false);
    const int room = m_updatedLabel->width();
    while (font.pointSizeF() > 6.0 && QFontMetrics(font).horizontalAdvance(m_updatedLabel->text()) > room)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    m_updatedLabel->setFont(font);
}

void MainWindow::openAddress(const QString &url)
{
    m_navigationBar->openAddress(url);
}

bool MainWindow::acceptListAddress(const QString &url)
{
    if (ListServer::isListAddress(url))
        return true;
    showRefusal(tr("Not opened: \"%1\" is not a web address.").arg(url.left(200)));
    return false;
}

void MainWindow::showRefusal(const QString &message)
{
    m_statusLabel->setText(message);
}

void MainWindow::showLoadingStatus(bool loading)
{
    m_statusLabel->setText(loading ? tr("Downloading...") : m_statusText);
}

const ModTreeFilter &MainWindow::treeFilter() const
{
    return m_treeView->filter();
}

QTreeView *MainWindow::treeView() const
{
    return m_treeView;
}

void MainWindow::filterTree(const QString &text)
{
    m_treeView->setFilterText(text, lastNode());
}

void MainWindow::focusFilterField()
{
    m_filterField->setFocus(Qt::ShortcutFocusReason);
    m_filterField->selectAll();
}

void MainWindow::enterTreeFromFilter()
{
    // While filtering, the user is after a mod: a current folder gives way to the first match.
    QModelIndex target = m_treeView->currentIndex();
    const bool onLink = target.isValid() && target.parent().isValid();
    const bool filtering = m_treeView->filter().isFiltering();
    if (filtering ? !onLink : !target.isValid()) {
        const QModelIndex first = m_treeView->model()->index(0, 0);
        target = filtering ? m_treeView->model()->index(0, 0, first) : first;
    }
    if (target.isValid())
        m_treeView->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    m_treeView->setFocus(Qt::OtherFocusReason);
}

void MainWindow::selectNode(int node)
{
    // The find dialog searches the whole tree: a filter that hides the node goes.
    if (m_treeView->filter().isFiltering() && !m_treeView->indexOfNode(node).isValid())
        m_filterField->clear();
    // Selected, not clicked: the page stays, and the last node too.
    m_treeView->selectNode(node);
}

void MainWindow::followPage(const QString &url)
{
    // A trailing slash is all that tells a web view's address from the one a
    // list may give.
    const auto sameAddress = [](QStringView a, QStringView b) {
        const auto chopped = [](QStringView s) { return s.endsWith(u'/') ? s.chopped(1) : s; };
        return chopped(a) == chopped(b);
    };
    const ModTree &tree = m_model.tree();
    int node = m_treeView->nodeAt(m_treeView->currentIndex());
    if (!tree.isLink(node) || !sameAddress(tree.url(node), url)) {
        node = ModTree::kNoNode;
        for (int link = tree.folderCount(); link < tree.count() && node == ModTree::kNoNode; ++link)
            if (sameAddress(tree.url(link), url))
                node = link;
    }
    if (node != ModTree::kNoNode) {
        // The mod on the page is the one "Add to favourites" takes.
        m_lastNode = node;
        m_lastNodeGeneration = m_model.generation();
    }
    if (m_treeView->indexOfNode(node).isValid())
        m_treeView->selectNode(node);
    else
        m_treeView->selectionModel()->clearSelection();
}

void MainWindow::openNode(const QModelIndex &index)
{
    const int node = m_treeView->nodeAt(index);
    if (node == ModTree::kNoNode)
        return;
    m_lastNode = node;
    m_lastNodeGeneration = m_model.generation();
    if (m_model.tree().isLink(node) && acceptListAddress(m_model.tree().url(node)))
        openAddress(m_model.tree().url(node));
    m_playButton->setVisible(!installedGameOf(node).isEmpty());
}

GameSetup MainWindow::gameSetup() const
{
    return GameSetup::load(*m_ctx.settings).completed(SystemPaths::current());
}

QString MainWindow::installedGameOf(int node) const
{
    if (node == ModTree::kNoNode || !m_model.tree().isLink(node))
        return {};
    return m_installedByPage.value(m_model.tree().url(node));
}

void MainWindow::refreshInstalledMods()
{
    const GameSetup setup = gameSetup();
    m_installedByPage.clear();
    for (const ModInstaller::Installed &mod : ModInstaller(setup.modsFolder, setup.engineFolder()).installed()) {
        if (!mod.manifest.sourcePage.isEmpty())
            m_installedByPage.insert(mod.manifest.sourcePage, mod.game);
    }
    if (m_remoteControl)
        m_remoteControl->setInstalledMods(m_installedByPage);
    const QList<QString> pages = m_installedByPage.keys();
    m_treeView->setInstalledPages(QSet<QString>(pages.cbegin(), pages.cend()));
    if (m_lastNode != ModTree::kNoNode && m_lastNodeGeneration == m_model.generation())
        m_playButton->setVisible(!installedGameOf(m_lastNode).isEmpty());
}

void MainWindow::installArchive(const QString &zipPath, const QString &sourcePage)
{
    QString modName;
    for (int node = 0; node < m_model.tree().count() && modName.isEmpty(); ++node) {
        if (m_model.tree().isLink(node) && m_model.tree().url(node) == sourcePage && !sourcePage.isEmpty())
            modName = m_model.tree().text(node);
    }
    auto *dialog = new InstallDialog(gameSetup(), zipPath, modName, sourcePage, this);
    connect(dialog, &InstallDialog::installFinished, this, [this](const ModInstaller::Result &result) {
        refreshInstalledMods();
        if (result.ok)
            m_statusLabel->setText(result.message);
    });
    dialog->show();
}

void MainWindow::installModFromFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Install mod from file"), QStandardPaths::writableLocation(QStandardPaths::DownloadLocation),
        tr("Zip archives (*.zip *.ZIP)"));
    if (!path.isEmpty())
        installArchive(path, QString());
}

void MainWindow::showInstalledMods()
{
    if (!m_installedModsDialog) {
        const GameSetup setup = gameSetup();
        m_installedModsDialog = new InstalledModsDialog(setup.modsFolder, setup.engineFolder(), *m_ctx.messages, this);
        connect(m_installedModsDialog, &InstalledModsDialog::playRequested, this, &MainWindow::playMod);
        connect(m_installedModsDialog, &InstalledModsDialog::modsChanged, this, &MainWindow::refreshInstalledMods);
    }
    bringForward(m_installedModsDialog);
}

void MainWindow::playOpenedMod()
{
    playMod(installedGameOf(m_lastNode));
}

void MainWindow::playMod(const QString &game)
{
    if (!m_launcher) {
        QString logFolder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        m_launcher = new ModLauncher(logFolder, this);
        connect(m_launcher, &ModLauncher::failed, this, [this](const QString &, const QString &message) {
            m_ctx.messages->show(this, QMessageBox::Warning, tr("Play"), message, QMessageBox::Ok);
        });
        connect(m_launcher, &ModLauncher::started, this, [this](const QString &started) {
            m_statusLabel->setText(tr("%1 started; its output goes to %2").arg(started, m_launcher->logPath(started)));
        });
    }
    QString error;
    if (!m_launcher->play(gameSetup(), game, {}, &error))
        m_ctx.messages->show(this, QMessageBox::Warning, tr("Play"), error, QMessageBox::Ok);
}

void MainWindow::showTreeMenu(const QPoint &position)
{
    const int node = m_treeView->nodeAt(m_treeView->indexAt(position));
    QMenu menu(this);
    const QString game = installedGameOf(node);
    if (!game.isEmpty()) {
        QAction *play = menu.addAction(tr("&Play %1").arg(game), this, [this, game] { playMod(game); });
        play->setObjectName(QStringLiteral("playModAction"));
    }
    menu.addAction(tr("&Install mod from file…"), this, &MainWindow::installModFromFile);
    menu.addAction(tr("Installed &mods…"), this, &MainWindow::showInstalledMods);
    menu.exec(m_treeView->viewport()->mapToGlobal(position));
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Minimised, the window lives on as the tray icon only. Without a
    // notification area it stays in the taskbar, or the user could not get it back.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_ctx.tray->isAvailable()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
    }
    // The desktop switched between light and dark: the tree's selection takes
    // the new colours also while another window has the focus.
    if (event->type() == QEvent::PaletteChange)
        keepSelectionColoursWhenInactive(m_treeView, palette());
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        QTimer::singleShot(0, this, &MainWindow::applyStartupOptions);
    if (watched == m_filterField && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        // Esc with text in the field clears it, rather than stopping the page
        // (the window's Esc); an empty field leaves Esc to the window.
        if (key == Qt::Key_Escape && keyEvent->modifiers() == Qt::NoModifier && !m_filterField->text().isEmpty()) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                m_filterField->clear();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            (key == Qt::Key_Down || keyEvent->matches(QKeySequence::InsertParagraphSeparator))) {
            enterTreeFromFilter();
            return true;
        }
    }
    if (watched == m_treeView && event->type() == QEvent::KeyPress) {
        // Return or Enter, on the keypad too; on a folder it opens or closes it.
        const bool enter = static_cast<QKeyEvent *>(event)->matches(QKeySequence::InsertParagraphSeparator);
        const QModelIndex current = m_treeView->currentIndex();
        if (enter && current.isValid()) {
            if (!current.parent().isValid())
                m_treeView->setExpanded(current, !m_treeView->isExpanded(current));
            openNode(current);
            return true;
        }
    }
    if (event->type() == QEvent::Resize && watched == m_updatedLabel->parentWidget())
        QTimer::singleShot(0, this, &MainWindow::fitListLabels);
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // An update under way is cancelled first; the window closes once it has
    // ended, with the old list or the whole new one in place.
    if (m_updateProgress) {
        m_closeAfterUpdate = true;
        m_update->cancel();
        event->ignore();
        return;
    }
    if (!saveBeforeQuit()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool MainWindow::saveBeforeQuit()
{
    // The favourites go first: when they cannot be written and the user keeps
    // the program open, it stays as it was, tray icon included.
    if (!saveFavourites())
        return false;
    // A preference only: a store that cannot take it leaves the design width.
    if (m_treeWidthMoved) {
        const double twips = m_splitter->sizes().value(0) * twipsPerPixel(this);
        m_ctx.settings->setValue(Options::kApplication, Options::kSection, Options::kTreeWidth,
                                 QString::number(qRound(twips)));
    }
    m_ctx.tray->remove();
    if (m_remoteControl)
        m_remoteControl->close();
    // Closing the main window ends the program, whatever other windows are open.
    QCoreApplication::exit(0);
    return true;
}

void MainWindow::showMainWindow()
{
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    bringForward(this);
}

void MainWindow::takeBackPage(const QString &url)
{
    openAddress(url);
}

void MainWindow::showFullScreenWindow()
{
    if (!m_fullScreenWindow) {
        // It opens at this window's address, or at the start page when the
        // fullscreen start is on.
        const QString start =
            Options::isOn(*m_ctx.settings, Options::kStartFullScreen) ? homeAddress() : m_navigationBar->addressText();
        m_fullScreenWindow = new FullScreenWindow(*m_ctx.webViews, start, [this] { return homeAddress(); });
        connect(m_fullScreenWindow, &FullScreenWindow::returnRequested, this, &MainWindow::takeBackPage);
    }
    // The window manager's full screen, asked for as the window shows: a state
    // set on the widget before it has its native window never reaches the
    // window manager (Qt 6.4).
    m_fullScreenWindow->showFullScreen();
    bringForward(m_fullScreenWindow);
}

void MainWindow::showFindDialog()
{
    // Already open: the same dialog, with its text and position.
    if (!m_findDialog) {
        m_findDialog = new FindDialog(m_model, this);
        connect(m_findDialog, &FindDialog::nodeFound, this, &MainWindow::selectNode);
        connect(m_findDialog, &FindDialog::nothingFound, this, [this](const QString &text) {
            statusBar()->showMessage(tr("No further mod matches \"%1\"").arg(text), kStatusMessageMs);
        });
    }
    bringForward(m_findDialog);
}

void MainWindow::showOptionsDialog()
{
    if (!m_optionsDialog)
        m_optionsDialog = new OptionsDialog(*m_ctx.settings, *m_ctx.messages, this);
    bringForward(m_optionsDialog);
}

void MainWindow::showAboutDialog()
{
    if (!m_aboutDialog) {
        m_aboutDialog = new AboutDialog(*m_ctx.shell, *m_ctx.messages, m_ctx.siteAddress, this);
        connect(m_aboutDialog, &AboutDialog::openInProgramRequested, this, &MainWindow::openFavourite);
    }
    bringForward(m_aboutDialog);
}

bool MainWindow::saveFavourites()
{
    for (;;) {
        const FavouritesSave saved = m_ctx.favourites->save(favouritesPath());
        if (saved.ok)
            return true;
        const QMessageBox::StandardButton answer = m_ctx.messages->show(
            this, QMessageBox::Critical, tr("Favourites"),
            tr("The favourites could not be saved.\n%1\n\nRetry, Discard to end the program without saving them, "
               "or Cancel to keep the program open.")
                .arg(saved.error),
            QMessageBox::Retry | QMessageBox::Discard | QMessageBox::Cancel);
        if (answer != QMessageBox::Retry)
            return answer == QMessageBox::Discard;
    }
}

void MainWindow::saveChangedFavourites()
{
    const FavouritesSave saved = m_ctx.favourites->save(favouritesPath());
    // Said once, not at every change, until a save works again; closing asks.
    const bool told = m_favouritesUnsaved;
    m_favouritesUnsaved = !saved.ok;
    if (saved.ok || told)
        return;
    m_ctx.messages->show(this, QMessageBox::Warning, tr("Favourites"),
                         tr("The favourites could not be saved.\n%1\n\nThey are kept while the program runs and "
                            "saved again at the next change and when it closes.")
                             .arg(saved.error),
                         QMessageBox::Ok);
}

void MainWindow::addFavourite()
{
    const int node = lastNode();
    const ModTree &tree = m_model.tree();
    if (!tree.isLink(node))
        return;
    if (m_ctx.favourites->add(tree.text(node), tree.url(node))) {
        statusBar()->showMessage(tr("Added to favourites: %1").arg(tree.text(node)), kStatusMessageMs);
    } else {
        m_ctx.messages->show(this, QMessageBox::Information, tr("Favourites"),
                             tr("The favourites list is full: it holds %1 entries. Delete one with "
                                "\"Configure favourites\" to make room.")
                                 .arg(Favourites::kCapacity),
                             QMessageBox::Ok);
    }
}

void MainWindow::configureFavourites()
{
    FavouritesDialog dialog(*m_ctx.favourites, this);
    dialog.exec();
}

void MainWindow::updateList()
{
    if (m_updateProgress)
        return;
    if (!m_update) {
        ListUpdateHooks hooks;
        hooks.setButtonEnabled = [this](bool enabled) { m_updateButton->setEnabled(enabled); };
        hooks.setBusy = [this](bool busy) {
            if (busy)
                setCursor(Qt::WaitCursor);
            else
                unsetCursor();
        };
        hooks.askRetry = [this](const QString &title, const QString &text, const QString &details) {
            QWidget *parent = m_updateProgress ? static_cast<QWidget *>(m_updateProgress) : this;
            return m_ctx.messages->show(parent, QMessageBox::Warning, title, text,
                                        QMessageBox::Ok | QMessageBox::Cancel, details) == QMessageBox::Ok;
        };
        hooks.setUpdatedLabel = [this](const QString &text) {
            m_updatedLabel->setText(text);
            fitListLabels();
        };
        // The new list keeps the open folders and the current node it still has.
        hooks.rebuildTree = [this] {
            const ModTreeView::ViewState state = m_treeView->viewState();
            rebuildTree(listPath());
            m_treeView->restoreViewState(state);
        };
        hooks.inform = [this](const QString &title, const QString &text, const QString &details, bool warning) {
            if (m_updateProgress)
                m_updateProgress->hide();
            m_ctx.messages->show(this, warning ? QMessageBox::Warning : QMessageBox::Information, title, text,
                                 QMessageBox::Ok, details);
        };
        hooks.progress = [this](UpdateStep step, qint64 done, qint64 total) {
            if (m_updateProgress)
                m_updateProgress->showProgress(step, done, total);
        };
        m_update = std::make_unique<ListUpdate>(m_ctx.programFolder, m_ctx.listServer, *m_ctx.settings, *m_ctx.fetcher,
                                                std::move(hooks));
        connect(m_update.get(), &ListUpdate::finished, this, &MainWindow::updateEnded);
    }
    // Application-modal while the update runs: the other windows take no input.
    // The update runs from the event loop, so the dialog's Cancel reaches it at once.
    m_keysBeforeUpdate = isActiveWindow();
    m_updateProgress = new UpdateProgressDialog(this);
    connect(m_updateProgress, &UpdateProgressDialog::cancelRequested, m_update.get(), &ListUpdate::cancel);
    m_updateProgress->show();
    m_update->start(m_current);
}

void MainWindow::updateEnded()
{
    QPointer<UpdateProgressDialog> progress = m_updateProgress;
    m_updateProgress = nullptr;
    if (progress) {
        progress->hide();
        progress->deleteLater();
    }
    // The keys go back to this window when it had them (the dialog took them).
    if (m_keysBeforeUpdate && isVisible() &&
        (!QApplication::activeWindow() || QApplication::activeWindow() == progress.data()))
        activateWindow();
    // A close asked for while the update ran (the tray's "Close", an end signal).
    if (std::exchange(m_closeAfterUpdate, false))
        close();
}

void MainWindow::openFavourite(const QString &url)
{
    if (!acceptListAddress(url))
        return;
    // The fullscreen window browses while it is open; else this window does,
    // brought back from the tray or the taskbar.
    if (m_fullScreenWindow) {
        m_fullScreenWindow->showAddress(url);
        return;
    }
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    bringForward(this);
    openAddress(url);
}

void MainWindow::showRemoteControl()
{
    if (!m_remoteControl) {
        m_remoteControl = new RemoteControl(*m_ctx.favourites, *m_ctx.settings, *m_ctx.shell, *m_ctx.messages);
        connect(m_remoteControl, &RemoteControl::openRequested, this, &MainWindow::openFavourite);
        connect(m_remoteControl, &RemoteControl::playRequested, this, &MainWindow::playMod);
        m_remoteControl->setInstalledMods(m_installedByPage);
        connect(m_remoteControl, &RemoteControl::showMainWindowRequested, this, [this] {
            if (isMinimized())
                setWindowState(windowState() & ~Qt::WindowMinimized);
            bringForward(this);
        });
    }
    m_remoteControl->showRestored();
}
