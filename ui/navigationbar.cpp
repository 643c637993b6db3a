#include "navigationbar.h"

#include "buttonpictures.h"
#include "platform/webview.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

namespace {

QIcon themedIcon(const char *themeName, const QIcon &fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), fallback);
}

} // namespace

NavigationBar::NavigationBar(WebView &view, std::function<QString()> homeAddress, QWidget *parent)
    : QWidget(parent), m_view(view), m_homeAddress(std::move(homeAddress))
{
    setObjectName(QStringLiteral("navigationBar"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    const QStyle *st = style();
    auto addButton = [this, row](const char *name, const QString &tip, const QIcon &icon, auto action) {
        auto *button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        button->setIcon(icon);
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, action);
        row->addWidget(button);
        return button;
    };
    m_backButton =
        addButton("backButton", tr("Back"), themedIcon("go-previous", st->standardIcon(QStyle::SP_ArrowBack)), [this] {
            m_pendingAddress.clear();
            m_view.back();
            enableButtons();
            noticePageAddress();
        });
    m_forwardButton = addButton("forwardButton", tr("Forward"),
                                themedIcon("go-next", st->standardIcon(QStyle::SP_ArrowForward)), [this] {
                                    m_pendingAddress.clear();
                                    m_view.forward();
                                    enableButtons();
                                    noticePageAddress();
                                });
    m_homeButton = addButton("homeButton", tr("Home"), themedIcon("go-home", buttonPicture(QStringLiteral("home"))),
                             [this] { openAddress(m_homeAddress()); });
    m_refreshButton =
        addButton("refreshButton", tr("Refresh"),
                  themedIcon("view-refresh", st->standardIcon(QStyle::SP_BrowserReload)), [this] { m_view.reload(); });
    m_stopButton =
        addButton("stopButton", tr("Stop"), themedIcon("process-stop", st->standardIcon(QStyle::SP_BrowserStop)),
                  &NavigationBar::stopLoading);

    m_addressField = new QLineEdit(this);
    m_addressField->setObjectName(QStringLiteral("addressField"));
    m_addressField->setAccessibleName(tr("Address"));
    // However narrow the window, an address stays readable in part.
    m_addressField->setMinimumWidth(m_addressField->fontMetrics().averageCharWidth() * 12);
    row->addSpacing(4);
    row->addWidget(m_addressField, 1);
    connect(m_addressField, &QLineEdit::returnPressed, this, &NavigationBar::openTypedAddress);

    // A thin bar along the field's lower edge: the address stays readable while
    // a page loads.
    m_loadProgress = new QProgressBar(m_addressField);
    m_loadProgress->setObjectName(QStringLiteral("loadProgress"));
    m_loadProgress->setAccessibleName(tr("Page loading"));
    m_loadProgress->setTextVisible(false);
    m_loadProgress->setFixedHeight(3);
    m_loadProgress->hide();
    m_addressField->installEventFilter(this);

    // Back and Forward follow the history, and Stop the loads, from the first
    // address on, not from here: disabled before the window has set its Tab
    // order, they leave the focus chain around the web view's focus proxy
    // broken (Qt 6.4).
    connect(&m_view, &WebView::loadStarted, this, [this] { showLoading(true); });
    connect(&m_view, &WebView::loadProgress, this, [this](int progress) {
        if (m_loading)
            m_loadProgress->setValue(progress);
    });
    connect(&m_view, &WebView::loadFinished, this, [this] { showLoading(false); });
    // An address change without a load (a jump inside the page, Back to a
    // page kept in memory) still reaches the field.
    connect(&m_view, &WebView::urlChanged, this, [this] { showLoading(m_loading); });
}

bool NavigationBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_addressField && event->type() == QEvent::Resize)
        m_loadProgress->setGeometry(1, m_addressField->height() - 4, m_addressField->width() - 2, 3);
    return QWidget::eventFilter(watched, event);
}

void NavigationBar::addShortcuts(QWidget *window, bool escapeStops)
{
    // Only while the focus is in that window: Qt would otherwise give them to
    // the program's other windows too (Esc in the find dialog).
    const std::pair<QKeySequence, QToolButton *> keys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Left), m_backButton},
        {QKeySequence(Qt::ALT | Qt::Key_Right), m_forwardButton},
        {QKeySequence(Qt::ALT | Qt::Key_Home), m_homeButton},
        {QKeySequence(Qt::Key_F5), m_refreshButton},
    };
    for (const auto &[sequence, button] : keys) {
        auto *shortcut = new QShortcut(sequence, window);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
    }
    // Esc stops also a load asked for that has not reported yet, while the
    // Stop button still shows nothing to stop.
    if (escapeStops) {
        auto *stop = new QShortcut(QKeySequence(Qt::Key_Escape), window);
        stop->setContext(Qt::WidgetWithChildrenShortcut);
        connect(stop, &QShortcut::activated, this, &NavigationBar::stopLoading);
    }
    auto *address = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), window);
    address->setContext(Qt::WidgetWithChildrenShortcut);
    connect(address, &QShortcut::activated, this, &NavigationBar::focusAddressField);
}

QString NavigationBar::addressText() const
{
    return m_addressField->text();
}

void NavigationBar::openAddress(const QString &url)
{
    m_addressBeforeLoad = m_view.url().toString();
    m_pendingAddress = url;
    m_stoppedByUser = false;
    m_loadSeen = false;
    showInField(url);
    // As given: QUrl::fromUserInput would add a scheme.
    m_view.load(QUrl(url));
    enableButtons();
    noticePageAddress();
}

void NavigationBar::stopLoading()
{
    m_stoppedByUser = m_loading;
    m_view.stop();
}

void NavigationBar::focusAddressField()
{
    m_addressField->setFocus(Qt::ShortcutFocusReason);
    m_addressField->selectAll();
}

QString NavigationBar::addressFromUserInput(const QString &text)
{
    // A scheme, however unusual, means the user said exactly where to go; a
    // host with a port ("localhost:8080") only looks like one.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:(?![0-9]+(/|$))"));
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || scheme.match(trimmed).hasMatch())
        return text;
    const QUrl completed = QUrl::fromUserInput(trimmed);
    return completed.isValid() ? completed.toString() : text;
}

void NavigationBar::openTypedAddress()
{
    // Any address may be typed, a local file's too; script never runs from here.
    const QString address = addressFromUserInput(m_addressField->text());
    if (QUrl(address.trimmed()).scheme().compare(QLatin1String("javascript"), Qt::CaseInsensitive) == 0) {
        Q_EMIT addressRefused(tr("Not opened: script addresses do not run from the address field."));
        return;
    }
    openAddress(address);
}

void NavigationBar::showLoading(bool loading)
{
    m_loadSeen = m_loadSeen || loading;
    // What the user is typing stays; otherwise the field follows the page.
    if (!(m_addressField->hasFocus() && m_addressField->isModified()))
        showAddress(loading);
    if (loading && !m_loading)
        m_loadProgress->setValue(0);
    m_loadProgress->setVisible(loading);
    const bool changed = loading != m_loading;
    m_loading = loading;
    enableButtons();
    noticePageAddress();
    if (changed)
        Q_EMIT loadingChanged(loading);
}

void NavigationBar::showAddress(bool loading)
{
    // The field never goes blank: an empty address or about:blank (a first
    // load stopped early) leaves what it shows.
    const QString location = m_view.url().toString();
    const bool real = !location.isEmpty() && location != QLatin1String("about:blank");
    // The address asked for stays until its load has ended at it, the view
    // went elsewhere (a redirect, a link) or the load ended where it began
    // without the user stopping it (a download). Stopped by the user before it
    // got anywhere, it stays, so that Enter tries it again. (An engine may
    // report the new address before the load starts: that is no end yet.)
    const bool arrived = location == m_pendingAddress;
    const bool elsewhere = real && !arrived && location != m_addressBeforeLoad;
    const bool ended = !loading && m_loadSeen;
    if (elsewhere || (ended && (arrived || !m_stoppedByUser)))
        m_pendingAddress.clear();
    if (!m_pendingAddress.isEmpty())
        showInField(m_pendingAddress);
    else if (real)
        showInField(location);
}

void NavigationBar::showInField(const QString &address)
{
    m_addressField->setText(address);
    // Where the field is too narrow, its start shows: the site, not the file.
    if (!m_addressField->hasFocus())
        m_addressField->setCursorPosition(0);
}

void NavigationBar::noticePageAddress()
{
    const QString location = m_view.url().toString();
    if (location != m_pageAddress) {
        m_pageAddress = location;
        Q_EMIT pageAddressChanged(location);
    }
}

void NavigationBar::enableButtons()
{
    m_backButton->setEnabled(m_view.canGoBack());
    m_forwardButton->setEnabled(m_view.canGoForward());
    m_stopButton->setEnabled(m_loading);
}
