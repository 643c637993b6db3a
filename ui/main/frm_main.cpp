#include "frm_main.h"

#include "core/favourites.h"
#include "core/modlistloader.h"
#include "core/options.h"
#include "core/settingsstore.h"
#include "buttonpictures.h"
#include "platform/appicon.h"
#include "platform/messages.h"
#include "platform/tray.h"
#include "platform/webview.h"
#include "treeicons.h"
#include "twips.h"
#include "ui/windows/frm_about.h"
#include "ui/windows/frm_configfav.h"
#include "ui/windows/frm_fav.h"
#include "ui/windows/frm_find.h"
#include "ui/windows/frm_options.h"
#include "update/listupdate.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>

namespace {

const QString kInitialCaption = QStringLiteral("Quake2 - Mod List");
const QString kCaptionPrefix = QStringLiteral("Kestrelmoor - Mod List - ");
const QString kUpdatedPrefix = QStringLiteral("updated: ");

QIcon themedIcon(const char *themeName, QStyle::StandardPixmap fallback, const QStyle *style)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), style->standardIcon(fallback));
}

} // namespace

frm_main::frm_main(const MainContext &context, QWidget *parent) : QMainWindow(parent), m_ctx(context)
{
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(kInitialCaption);
    setWindowIcon(appIcon());
    buildControls();
    connect(m_ctx.tray, &Tray::restoreRequested, this, &frm_main::restoreWindow);
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setSingleShot(true);
    connect(&m_timer1, &QTimer::timeout, this, &frm_main::Timer1_Timer);
}

frm_main::~frm_main()
{
    // The fullscreen window has no parent (so that minimising this window does
    // not take it along) but refers to this window.
    delete m_full.data();
    delete m_fav.data();
}

void frm_main::buildControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);

    // The label row is as tall as an 8 point line; a larger font would be cut.
    QFont small = font();
    small.setPointSizeF(std::min(small.pointSizeF(), 8.0));
    m_label1 = new QLabel(tr("Mod list:"), m_client);
    QFont bold = small;
    bold.setBold(true);
    m_label1->setFont(bold);
    m_label2 = new QLabel(kUpdatedPrefix + QStringLiteral("Unknown"), m_client);
    m_label2->setFont(small);

    // Created before the tree, so that Tab goes from the field into the tree.
    m_filter = new QLineEdit(m_client);
    m_filter->setPlaceholderText(tr("Filter mods"));
    m_filter->setAccessibleName(tr("Filter mods"));
    m_filter->setToolTip(tr("Shows only the mods whose name contains this text (Ctrl+K)"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, this, &frm_main::filter_Change);
    // Esc clears the field; Down and Enter go on into the tree.
    m_filter->installEventFilter(this);

    m_tree = new QTreeView(m_client);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setIconSize(QSize(16, 16));
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    // The selection stays visible while another window (the find dialog) has the focus.
    QPalette treePalette = m_tree->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        treePalette.setColor(QPalette::Inactive, role, treePalette.color(QPalette::Active, role));
    m_tree->setPalette(treePalette);
    m_filterModel = new ModTreeFilter(this);
    m_filterModel->setSourceModel(&m_model);
    m_iconModel = new TreeIconModel(this);
    m_iconModel->setSourceModel(m_filterModel);
    m_tree->setModel(m_iconModel);
    // After the view's own reset: a new tree under a filter shows its matches opened.
    connect(m_filterModel, &QAbstractItemModel::modelReset, this, &frm_main::showFilteredTree);
    connect(m_tree, &QTreeView::clicked, this, &frm_main::tree_NodeClick);
    // Enter on a node does what a click does, for keyboard users.
    m_tree->installEventFilter(this);

    m_modc = new QComboBox(m_client);
    connect(m_modc, &QComboBox::activated, this, &frm_main::modc_Click);

    m_text1 = new QLineEdit(m_client);
    m_text1->setAccessibleName(tr("Address"));
    connect(m_text1, &QLineEdit::returnPressed, this, &frm_main::Text1_Enter);

    m_prog = new QProgressBar(m_client);
    m_prog->setTextVisible(false);
    m_prog->hide();

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->addWidget(m_status, 1);
    statusBar()->setSizeGripEnabled(true);

    m_web = m_ctx.webViews->create(m_client);
    connect(m_web, &WebView::progressChange, this, &frm_main::web_ProgressChange);

    const QStyle *st = style();
    auto addButton = [this](const char *name, const QString &tip, const QIcon &icon) {
        auto *button = new QToolButton(m_client);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        button->setIcon(icon);
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        m_controls.insert(button->objectName(), button);
        return button;
    };
    auto addCaptionButton = [this](const char *name, const QString &caption, const QString &tip) {
        auto *button = new QPushButton(caption, m_client);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(tip);
        button->setAutoDefault(false);
        m_controls.insert(button->objectName(), button);
        return button;
    };
    connect(addButton("Command1", tr("Back"), themedIcon("go-previous", QStyle::SP_ArrowBack, st)),
            &QToolButton::clicked, this, &frm_main::Command1_Click);
    connect(addButton("Command2", tr("Forward"), themedIcon("go-next", QStyle::SP_ArrowForward, st)),
            &QToolButton::clicked, this, &frm_main::Command2_Click);
    connect(addButton("Command4", tr("Home"),
                      QIcon::fromTheme(QStringLiteral("go-home"), buttonPicture(QStringLiteral("home")))),
            &QToolButton::clicked, this, &frm_main::Command4_Click);
    connect(addButton("Command5", tr("Refresh"), themedIcon("view-refresh", QStyle::SP_BrowserReload, st)),
            &QToolButton::clicked, this, &frm_main::Command5_Click);
    connect(addButton("Command7", tr("Stop"), themedIcon("process-stop", QStyle::SP_BrowserStop, st)),
            &QToolButton::clicked, this, &frm_main::Command7_Click);
    connect(addButton("Command3", tr("Update list"), buttonPicture(QStringLiteral("update"))), &QToolButton::clicked,
            this, &frm_main::Command3_Click);
    connect(addButton("Command6", tr("Find mod"), buttonPicture(QStringLiteral("find"))), &QToolButton::clicked, this,
            &frm_main::Command6_Click);
    connect(addButton("addfav", tr("Add to favourites"), buttonPicture(QStringLiteral("addfav"))),
            &QToolButton::clicked, this, &frm_main::addfav_Click);
    connect(addButton("options", tr("Options"), buttonPicture(QStringLiteral("options"))), &QToolButton::clicked, this,
            &frm_main::options_Click);
    connect(addButton("Command8", tr("Configure favourites"), buttonPicture(QStringLiteral("configfav"))),
            &QToolButton::clicked, this, &frm_main::Command8_Click);
    connect(addButton("info", tr("Show remote control"), buttonPicture(QStringLiteral("remote"))),
            &QToolButton::clicked, this, &frm_main::info_Click);
    connect(addCaptionButton("Command9", tr("Info"), tr("Info")), &QPushButton::clicked, this, &frm_main::Command9_Click);
    connect(addCaptionButton("full", tr("Full"), tr("Fullscreen mode")), &QPushButton::clicked, this,
            &frm_main::full_Click);

    // Keys a browser user expects, beside the buttons. Only while the focus is
    // in this window: Qt would give them the find dialog's keys too (Escape).
    auto addShortcut = [this](const QKeySequence &keys, void (frm_main::*slot)()) {
        auto *shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    addShortcut(QKeySequence(Qt::ALT | Qt::Key_Left), &frm_main::Command1_Click);
    addShortcut(QKeySequence(Qt::ALT | Qt::Key_Right), &frm_main::Command2_Click);
    addShortcut(QKeySequence(Qt::ALT | Qt::Key_Home), &frm_main::Command4_Click);
    addShortcut(QKeySequence(Qt::Key_F5), &frm_main::Command5_Click);
    addShortcut(QKeySequence(Qt::Key_Escape), &frm_main::Command7_Click);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), &frm_main::focusAddress);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), &frm_main::Command6_Click);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_K), &frm_main::focusFilter);
    addShortcut(QKeySequence(Qt::Key_F11), &frm_main::full_Click);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), &frm_main::addfav_Click);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_U), &frm_main::Command3_Click);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), &frm_main::info_Click);
    addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B), &frm_main::Command8_Click);

    // The tray icon's popup menu.
    m_trayMenu = new QMenu(tr("traymenu"), this);
    m_trayMenu->setObjectName(QStringLiteral("mpopupsys"));
    QAction *showList = m_trayMenu->addAction(tr("Show &Mod List"));
    showList->setObjectName(QStringLiteral("mshowml"));
    connect(showList, &QAction::triggered, this, &frm_main::restoreWindow);
    QAction *showRc = m_trayMenu->addAction(tr("&Show remote control"));
    showRc->setObjectName(QStringLiteral("mshowrc"));
    m_mshowrc = showRc;
    connect(showRc, &QAction::triggered, this, &frm_main::info_Click);
    m_trayMenu->addSeparator()->setObjectName(QStringLiteral("sep2"));
    QAction *closeAction = m_trayMenu->addAction(tr("&Close"));
    closeAction->setObjectName(QStringLiteral("mclose"));
    connect(closeAction, &QAction::triggered, this, &frm_main::close);

    const std::pair<const char *, QWidget *> named[] = {
        {"Label1", m_label1}, {"Label2", m_label2}, {"tree", m_tree}, {"modc", m_modc},
        {"Text1", m_text1},   {"prog", m_prog},     {"web", m_web},   {"filter", m_filter},
    };
    for (const auto &[name, widget] : named) {
        widget->setObjectName(QString::fromLatin1(name));
        m_controls.insert(QString::fromLatin1(name), widget);
    }
    m_prog->raise();

    // Keyboard and screen readers: Tab goes in reading order, the browsing row
    // first; the tree has the focus at the start.
    m_label1->setBuddy(m_modc);
    m_tree->setAccessibleName(tr("Mods"));
    m_prog->setAccessibleName(tr("Page loading"));
    m_web->setAccessibleName(tr("Web page"));
    const QStringList tabOrder = {
        QStringLiteral("Command1"), QStringLiteral("Command2"), QStringLiteral("Command4"), QStringLiteral("Command5"),
        QStringLiteral("Command7"), QStringLiteral("Text1"),    QStringLiteral("Command9"), QStringLiteral("full"),
        QStringLiteral("filter"),   QStringLiteral("tree"),     QStringLiteral("web"),      QStringLiteral("modc"),     QStringLiteral("Command3"),
        QStringLiteral("Command6"), QStringLiteral("addfav"),   QStringLiteral("options"),  QStringLiteral("Command8"),
        QStringLiteral("info")};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(m_controls.value(tabOrder.at(i - 1)), m_controls.value(tabOrder.at(i)));
    m_tree->setFocus();

    // Design size of the client area.
    const double tpp = twipsPerPixel(this);
    resize(int(MainLayout::kDesignClientWidth / tpp),
           int(MainLayout::kDesignClientHeight / tpp) + statusBar()->sizeHint().height());
}

void frm_main::Form_Load()
{
    // Visible at once, while the rest loads.
    show();
    repaint();

    m_ctx.tray->install(windowIcon(), QStringLiteral("Mod List"), m_trayMenu);

    if (Options::isOn(*m_ctx.settings, Options::kMaximized))
        setWindowState(windowState() | Qt::WindowMaximized);
    if (Options::isOn(*m_ctx.settings, Options::kRcOnly))
        setWindowState(windowState() | Qt::WindowMinimized);

    m_viewmode = 1;
    m_statusText = QStringLiteral("Welcome to Kestrelmoor's Mod List. Visit Kestrelmoor at: ") + m_ctx.siteAddress;
    m_status->setText(m_statusText);

    const CatalogueLoad catalogue =
        loadCatalogue(m_ctx.programFolder + QStringLiteral("/mods.dat"), defaultCatalogueRow(m_ctx.listServer));
    m_modlists = catalogue.rows;
    m_modc->clear();
    for (const ModListEntry &row : m_modlists)
        m_modc->addItem(row.listName);
    if (catalogue.usedDefault) {
        m_ctx.messages->show(this, QMessageBox::Critical, QStringLiteral("Error"),
                             QStringLiteral("Error while loading settings. Click the 'Update list' button to solve the problem."),
                             QMessageBox::Ok);
    }

    m_modc->setCurrentIndex(0);
    modc_Click(0);

    setLabel2FromSettings();

    // The list selection above has just built the tree from this very file;
    // building it again would only repeat its work and its warnings.
    const QString listPath = m_ctx.programFolder + QLatin1Char('/') + m_current.listFile;
    if (m_treeBuiltFrom != listPath)
        OpenOptions(listPath);

    // Step 11: the favourites. What the table could not take in is kept, and said once.
    const FavouritesLoad favs = m_ctx.favourites->load(favouritesPath());
    if (!favs.notice.isEmpty())
        m_ctx.messages->show(this, QMessageBox::Warning, tr("Favourites"), favs.notice, QMessageBox::Ok);

    const QString start = homeAddress();
    m_text1->setText(start);
    QCoreApplication::processEvents();
    // Likewise the list selection has already started loading the start page.
    if (m_lastNavigated != start)
        navigateMain(start);

    m_timer1.start(1);
}

void frm_main::modc_Click(int index)
{
    if (index < 0 || index >= m_modlists.size())
        return;
    m_current = m_modlists.at(index);
    setWindowTitle(kCaptionPrefix + m_current.listName);
    navigateMain(homeAddress());
    OpenOptions(m_ctx.programFolder + QLatin1Char('/') + m_current.listFile);
    setLabel2FromSettings();
}

void frm_main::Timer1_Timer()
{
    m_timer1.stop();
    QCoreApplication::processEvents();
    if (Options::isOn(*m_ctx.settings, Options::kShowFav))
        info_Click();
    if (Options::isOn(*m_ctx.settings, Options::kFullScreen))
        full_Click();
    if (Options::isOn(*m_ctx.settings, Options::kRcOnly))
        setWindowState(windowState() | Qt::WindowMinimized);
}

void frm_main::OpenOptions(const QString &filename)
{
    ModTree tree;
    loadModList(filename, m_ctx.programFolder, tree, [this] {
        m_ctx.messages->show(this, QMessageBox::Critical, QStringLiteral("Error"),
                             QStringLiteral("Error while loading Master List. Click the 'Update list' button to solve the problem."),
                             QMessageBox::Ok);
    });
    m_model.setTree(std::move(tree));
    m_treeBuiltFrom = filename;
}

QString frm_main::homeAddress() const
{
    return m_ctx.listServer + QStringLiteral("/kestrelmoor/modlist/") + m_current.startPage;
}

int frm_main::lastNode() const
{
    if (m_lastNodeGeneration != m_model.generation() || !m_model.tree().isValid(m_lastNode))
        return ModTree::kNoNode;
    return m_lastNode;
}

void frm_main::setLabel2FromSettings()
{
    m_label2->setText(kUpdatedPrefix + updateDate(*m_ctx.settings, m_current.settingsName, QDate::currentDate()));
    fitLabels();
}

QAbstractItemModel *frm_main::treeViewModel() const
{
    return m_iconModel;
}

void frm_main::navigateMain(const QString &url)
{
    m_lastNavigated = url;
    m_web->navigate(url);
}

int frm_main::nodeOfRow(const QModelIndex &viewIndex) const
{
    return m_filterModel->nodeOf(m_iconModel->mapToSource(viewIndex));
}

QModelIndex frm_main::rowOfNode(int node) const
{
    return m_iconModel->mapFromSource(m_filterModel->indexOfNode(node));
}

void frm_main::filter_Change(const QString &text)
{
    // The node the user is on, or else the one opened last, is kept current and
    // in sight whenever it is shown.
    int current = nodeOfRow(m_tree->currentIndex());
    if (current == ModTree::kNoNode)
        current = lastNode();
    if (!m_filterModel->isFiltering() && !text.isEmpty()) {
        m_expandedBeforeFilter.clear();
        for (int row = 0, rows = m_iconModel->rowCount(); row < rows; ++row) {
            const QModelIndex folder = m_iconModel->index(row, 0);
            if (m_tree->isExpanded(folder))
                m_expandedBeforeFilter.append(nodeOfRow(folder));
        }
        m_expandedGeneration = m_model.generation();
    }
    m_filterModel->setFilterText(text);
    if (!m_filterModel->isFiltering()) {
        if (m_expandedGeneration == m_model.generation()) {
            for (int folder : std::as_const(m_expandedBeforeFilter))
                m_tree->expand(rowOfNode(folder));
        }
        m_expandedBeforeFilter.clear();
    }
    const QModelIndex row = rowOfNode(current);
    if (row.isValid()) {
        if (row.parent().isValid())
            m_tree->expand(row.parent());
        m_tree->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
        m_tree->scrollTo(row);
    }
}

void frm_main::showFilteredTree()
{
    if (m_filterModel->isFiltering())
        m_tree->expandAll();
}

void frm_main::focusFilter()
{
    m_filter->setFocus(Qt::ShortcutFocusReason);
    m_filter->selectAll();
}

void frm_main::revealNode(int node)
{
    if (m_filterModel->isFiltering() && !m_filterModel->indexOfNode(node).isValid())
        m_filter->clear();
}

void frm_main::enterTreeFromFilter()
{
    // While filtering, the user is after a mod: a current folder gives way to the first match.
    QModelIndex target = m_tree->currentIndex();
    const bool onLink = target.isValid() && target.parent().isValid();
    if (m_filterModel->isFiltering() ? !onLink : !target.isValid()) {
        const QModelIndex first = m_iconModel->index(0, 0);
        target = m_filterModel->isFiltering() ? m_iconModel->index(0, 0, first) : first;
    }
    if (target.isValid())
        m_tree->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    m_tree->setFocus(Qt::OtherFocusReason);
}

void frm_main::tree_NodeClick(const QModelIndex &index)
{
    const int node = nodeOfRow(index);
    if (node == ModTree::kNoNode)
        return;
    m_lastNode = node;
    m_lastNodeGeneration = m_model.generation();
    if (m_model.tree().parent(node) != ModTree::kNoNode)
        navigateMain(m_model.tree().tag(node));
}

void frm_main::Text1_Enter()
{
    navigateMain(m_text1->text());
}

void frm_main::web_ProgressChange(int progress, int progressMax)
{
    m_text1->setText(m_web->locationUrl());
    if (progressMax > 0)
        m_prog->setMaximum(progressMax);
    if (WebView::isLoading(progress, progressMax)) {
        m_prog->setVisible(true);
        m_prog->setValue(progress);
        m_status->setText(tr("Downloading..."));
        return;
    }
    m_prog->setVisible(false);
    m_status->setText(m_statusText);
}

void frm_main::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frm_main::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
    // The desktop switched between light and dark: the tree's selection takes
    // the new colours also while another window has the focus.
    if (event->type() == QEvent::PaletteChange) {
        QPalette treePalette = m_tree->palette();
        for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
            treePalette.setColor(QPalette::Inactive, role, palette().color(QPalette::Active, role));
        m_tree->setPalette(treePalette);
    }
}

void frm_main::Form_Resize()
{
    if (isMinimized()) {
        // Minimised, the window lives on as the tray icon only. Without a
        // notification area it stays in the taskbar, or the user could not get it back.
        if (m_ctx.tray->isAvailable())
            QTimer::singleShot(0, this, [this] {
                if (isMinimized())
                    hide();
            });
        return;
    }
    const double tpp = twipsPerPixel(this);
    // The rules are written against the outer size, frame and title bar included.
    const QRect outer = frameGeometry();
    const QSize frameExtra = outer.size() - size();
    const double W = (width() + frameExtra.width()) * tpp;
    const double H = (height() + frameExtra.height()) * tpp;
    const double SB = statusBar()->height() * tpp;
    m_layout.resize(W, H, SB);
    placeControls(m_layout.rects(), m_controls, tpp);
    fitLabels();
}

void frm_main::fitLabels()
{
    // The two labels share one row that ends where the Back button starts; a
    // font wider than the design's must neither cut them nor run under the button.
    m_label1->resize(std::max(m_label1->width(), m_label1->sizeHint().width()), m_label1->height());
    m_label2->move(std::max(m_label2->x(), m_label1->geometry().right() + 4), m_label2->y());
    const int room = m_controls.value(QStringLiteral("Command1"))->x() - m_label2->x() - 2;
    QFont f = m_label1->font();
    f.setBold(false);
    while (f.pointSizeF() > 6.0 && QFontMetrics(f).horizontalAdvance(m_label2->text()) > room)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    m_label2->setFont(f);
    m_label2->resize(std::max(room, 0), m_label2->height());
}

bool frm_main::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_filter && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        // Esc with text in the field clears it, rather than stopping the page
        // (the window's Esc); an empty field leaves Esc to the window.
        if (key == Qt::Key_Escape && keyEvent->modifiers() == Qt::NoModifier && !m_filter->text().isEmpty()) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                m_filter->clear();
            return true;
        }
        if (event->type() == QEvent::KeyPress
            && (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter)) {
            enterTreeFromFilter();
            return true;
        }
    }
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_tree->currentIndex().isValid()) {
            tree_NodeClick(m_tree->currentIndex());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frm_main::closeEvent(QCloseEvent *event)
{
    if (!Form_Unload()) {
        event->ignore();
        return;
    }
    event->accept();
}

void frm_main::restoreWindow()
{
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    show();
    raise();
    activateWindow();
}

void frm_main::focusAddress()
{
    m_text1->setFocus(Qt::ShortcutFocusReason);
    m_text1->selectAll();
}

void frm_main::Command1_Click()
{
    m_web->goBack(); // nothing to go back to is no error
}

void frm_main::Command2_Click()
{
    m_web->goForward();
}

void frm_main::Command4_Click()
{
    navigateMain(homeAddress());
}

void frm_main::Command5_Click()
{
    m_web->refresh();
}

void frm_main::Command7_Click()
{
    m_web->stop();
}

QString frm_main::addressText() const
{
    return m_text1->text();
}

void frm_main::takeBackPage(const QString &url)
{
    m_text1->setText(url);
    navigateMain(url);
}

namespace {
void bringForward(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

void frm_main::full_Click()
{
    m_viewmode = 2;
    if (!m_full)
        m_full = new frm_full(*this, *m_ctx.webViews, *m_ctx.settings, nullptr);
    bringForward(m_full);
}

void frm_main::Command6_Click()
{
    // Already open: the same dialog, with its text and position.
    if (!m_find) {
        m_find = new frm_find(m_tree, m_model, this);
        // The dialog searches the whole tree; a node that the filter hides is shown.
        connect(m_find, &frm_find::nodeFound, this, &frm_main::revealNode);
    }
    bringForward(m_find);
}

void frm_main::options_Click()
{
    if (!m_options)
        m_options = new frm_options(*m_ctx.settings, *m_ctx.messages, this);
    bringForward(m_options);
}

void frm_main::Command9_Click()
{
    if (!m_about)
        m_about = new frm_about(*m_ctx.shell, *m_ctx.messages, m_ctx.siteAddress, this);
    bringForward(m_about);
}

bool frm_main::Form_Unload()
{
    // The favourites go first: when they cannot be written and the user keeps
    // the program open, it stays as it was, tray icon included.
    if (!saveFavourites())
        return false;
    m_ctx.tray->remove();
    if (m_fav)
        m_fav->close();
    // Closing the main window ends the program, whatever other windows are open.
    QCoreApplication::exit(0);
    return true;
}

frm_fav *frm_main::remoteControl() const
{
    return m_fav;
}

QString frm_main::favouritesPath() const
{
    return m_ctx.programFolder + QStringLiteral("/favs.dat");
}

bool frm_main::saveFavourites()
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

void frm_main::addfav_Click()
{
    const int node = lastNode();
    const ModTree &tree = m_model.tree();
    if (node == ModTree::kNoNode || tree.parent(node) == ModTree::kNoNode)
        return;
    if (!m_ctx.favourites->add(tree.text(node), tree.tag(node))) {
        m_ctx.messages->show(this, QMessageBox::Information, tr("Favourites"),
                             tr("The favourites list is full: it holds %1 entries. Delete one with "
                                "\"Configure favourites\" to make room.")
                                 .arg(Favourites::kRows),
                             QMessageBox::Ok);
    }
}

void frm_main::Command8_Click()
{
    frm_configfav dialog(*m_ctx.favourites, this);
    dialog.exec();
}

void frm_main::Command3_Click()
{
    if (!m_update) {
        ListUpdateHooks hooks{
            [this](bool enabled) { m_controls.value(QStringLiteral("Command3"))->setEnabled(enabled); },
            [this](bool busy) {
                if (busy)
                    setCursor(Qt::WaitCursor);
                else
                    unsetCursor();
            },
            [this](const QString &title, const QString &text) {
                return m_ctx.messages->show(this, QMessageBox::NoIcon, title, text,
                                            QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
            },
            [this](const QString &text) {
                m_label2->setText(text);
                fitLabels();
            },
            [this] { OpenOptions(m_ctx.programFolder + QLatin1Char('/') + m_current.listFile); },
            [this](const QString &title, const QString &text) {
                m_ctx.messages->show(this, QMessageBox::Information, title, text, QMessageBox::Ok);
            }};
        m_update = std::make_unique<ListUpdate>(m_ctx.programFolder, m_ctx.listServer, *m_ctx.settings,
                                                *m_ctx.fetcher, std::move(hooks));
        m_update->unzip().setQuestion([this](const QString &title, const QString &text) {
            switch (m_ctx.messages->show(this, QMessageBox::NoIcon, title, text,
                                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
            case QMessageBox::Yes:
                return unzipmod::Answer::Yes;
            case QMessageBox::Cancel:
                return unzipmod::Answer::Cancel;
            default:
                return unzipmod::Answer::No;
            }
        });
    }
    m_update->run(m_current);
}

void frm_main::showForFavourite()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    bringForward(this);
}

void frm_main::info_Click()
{
    if (!m_fav) {
        auto openHere = [this](const QString &url) {
            showForFavourite();
            m_text1->setText(url);
            navigateMain(url);
        };
        RemoteControlTargets targets{
            [this] { return m_viewmode; },
            openHere,
            [this, openHere](const QString &url) {
                // The fullscreen window may have been closed: the main window browses then.
                if (m_full)
                    m_full->showAddress(url);
                else
                    openHere(url);
            },
            [this] { showForFavourite(); }};
        m_fav = new frm_fav(*m_ctx.favourites, *m_ctx.settings, *m_ctx.shell, *m_ctx.messages, std::move(targets));
    }
    m_fav->showRestored();
}
