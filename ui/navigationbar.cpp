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
    m_backButton = addButton("backButton", tr("Back"), themedIcon("go-previous", st->standardIcon(QStyle::SP_ArrowBack)),
                             [this] { m_view.goBack(); });
    m_forwardButton = addButton("forwardButton", tr("Forward"),
                                themedIcon("go-next", st->standardIcon(QStyle::SP_ArrowForward)),
                                [this] { m_view.goForward(); });
    m_homeButton = addButton("homeButton", tr("Home"), themedIcon("go-home", buttonPicture(QStringLiteral("home"))),
                             [this] { openAddress(m_homeAddress()); });
    m_refreshButton = addButton("refreshButton", tr("Refresh"),
                                themedIcon("view-refresh", st->standardIcon(QStyle::SP_BrowserReload)),
                                [this] { m_view.refresh(); });
    m_stopButton = addButton("stopButton", tr("Stop"), themedIcon("process-stop", st->standardIcon(QStyle::SP_BrowserStop)),
                             [this] { m_view.stop(); });

    m_addressField = new QLineEdit(this);
    m_addressField->setObjectName(QStringLiteral("addressField"));
    m_addressField->setAccessibleName(tr("Address"));
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

    connect(&m_view, &WebView::progressChange, this, &NavigationBar::showLoadProgress);
}

bool NavigationBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_addressField && event->type() == QEvent::Resize)
        m_loadProgress->setGeometry(1, m_addressField->height() - 4, m_addressField->width() - 2, 3);
    return QWidget::eventFilter(watched, event);
}

void NavigationBar::addShortcuts(QWidget *window)
{
    // Only while the focus is in that window: Qt would otherwise give them to
    // the program's other windows too (Esc in the find dialog).
    const std::pair<QKeySequence, QToolButton *> keys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Left), m_backButton},    {QKeySequence(Qt::ALT | Qt::Key_Right), m_forwardButton},
        {QKeySequence(Qt::ALT | Qt::Key_Home), m_homeButton},    {QKeySequence(Qt::Key_F5), m_refreshButton},
        {QKeySequence(Qt::Key_Escape), m_stopButton},
    };
    for (const auto &[sequence, button] : keys) {
        auto *shortcut = new QShortcut(sequence, window);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
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
    m_addressField->setText(url);
    m_view.navigate(url);
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
    openAddress(addressFromUserInput(m_addressField->text()));
}

void NavigationBar::showLoadProgress(int progress, int progressMax)
{
    // What the user is typing stays; otherwise the field follows the page.
    if (!(m_addressField->hasFocus() && m_addressField->isModified())) {
        const QString location = m_view.locationUrl();
        if (!location.isEmpty() && location != QLatin1String("about:blank"))
            m_addressField->setText(location);
    }
    const bool loading = WebView::isLoading(progress, progressMax);
    if (loading) {
        m_loadProgress->setMaximum(progressMax);
        m_loadProgress->setValue(progress);
    }
    m_loadProgress->setVisible(loading);
    if (loading != m_loading) {
        m_loading = loading;
        Q_EMIT loadingChanged(loading);
    }
}
