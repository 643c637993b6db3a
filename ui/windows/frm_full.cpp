#include "frm_full.h"

#include "core/options.h"
#include "platform/webview.h"
#include "ui/main/buttonpictures.h"

#include "ui/main/twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

#include <functional>

namespace {

// The same pictures as the main window's buttons of the same names.
QIcon themedIcon(const char *themeName, QStyle::StandardPixmap fallback, const QStyle *style)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), style->standardIcon(fallback));
}

// Design size of the window, for when it is not maximized.
constexpr double kDesignWidth = 6720;
constexpr double kDesignHeight = 5160;

} // namespace

FullScreenLayout::FullScreenLayout()
{
    m_rects = {
        {QStringLiteral("Command1"), {60, 45, 390, 360}},
        {QStringLiteral("Command2"), {435, 45, 390, 360}},
        {QStringLiteral("Command4"), {870, 45, 390, 360}},
        {QStringLiteral("Command5"), {1245, 45, 390, 360}},
        {QStringLiteral("Command7"), {1620, 45, 390, 360}},
        {QStringLiteral("Text1"), {2040, 105, 2910, 300}},
        {QStringLiteral("prog"), {2025, 105, 2130, 300}},
        {QStringLiteral("full"), {5670, 90, 945, 315}},
        {QStringLiteral("web"), {45, 480, 6600, 4605}},
    };
}

void FullScreenLayout::resize(double width, double height)
{
    if (width - 120 >= 0 && height - 480 >= 0)
        m_rects[QStringLiteral("web")] = QRectF(60, 480, width - 120, height - 480);

    QRectF &full = m_rects[QStringLiteral("full")];
    full.moveLeft(width - full.width() - 120);

    QRectF &text1 = m_rects[QStringLiteral("Text1")];
    const double text1Width = width - text1.left() - 180 - full.width() - 20;
    if (text1Width >= 0)
        text1.setWidth(text1Width);

    m_rects[QStringLiteral("prog")].setWidth(text1.width());
}

frm_full::frm_full(FullScreenHost &host, WebViewFactory &webViews, const SettingsStore &settings, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_host(host), m_webViews(webViews), m_settings(settings)
{
    setObjectName(QStringLiteral("frm_full"));
    setWindowTitle(tr("Kestrelmoor - Fullscreen"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    const double tpp = twipsPerPixel(this);
    resize(qRound(kDesignWidth / tpp), qRound(kDesignHeight / tpp));
    setWindowState(Qt::WindowMaximized);
    Form_Load();
}

void frm_full::buildControls()
{
    const QStyle *st = style();
    struct PictureButton
    {
        const char *name;
        QString tip;
        QIcon icon;
        std::function<void()> action;
    };
    const PictureButton pictureButtons[] = {
        {"Command1", tr("Back"), themedIcon("go-previous", QStyle::SP_ArrowBack, st), [this] { m_web->goBack(); }},
        {"Command2", tr("Forward"), themedIcon("go-next", QStyle::SP_ArrowForward, st), [this] { m_web->goForward(); }},
        {"Command4", tr("Home"), QIcon::fromTheme(QStringLiteral("go-home"), buttonPicture(QStringLiteral("home"))),
         [this] { m_web->navigate(m_host.homeAddress()); }},
        {"Command5", tr("Refresh"), themedIcon("view-refresh", QStyle::SP_BrowserReload, st), [this] { m_web->refresh(); }},
        {"Command7", tr("Stop"), themedIcon("process-stop", QStyle::SP_BrowserStop, st), [this] { m_web->stop(); }},
    };

    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setAccessibleName(tr("Address"));
    connect(m_text1, &QLineEdit::returnPressed, this, &frm_full::Text1_Enter);
    m_controls.insert(QStringLiteral("Text1"), m_text1);

    QWidget *previous = m_text1;
    for (const PictureButton &b : pictureButtons) {
        auto *button = new QToolButton(this);
        const QString name = QString::fromLatin1(b.name);
        button->setObjectName(name);
        button->setToolTip(b.tip);
        button->setAccessibleName(b.tip);
        button->setIcon(b.icon);
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, b.action);
        m_controls.insert(name, button);
        setTabOrder(previous, button);
        previous = button;
    }

    // The main window's browser keys work here too.
    const std::pair<QKeySequence, const char *> keys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Left), "Command1"}, {QKeySequence(Qt::ALT | Qt::Key_Right), "Command2"},
        {QKeySequence(Qt::ALT | Qt::Key_Home), "Command4"}, {QKeySequence(Qt::Key_F5), "Command5"},
        {QKeySequence(Qt::Key_Escape), "Command7"},
    };
    for (const auto &[sequence, name] : keys) {
        auto *button = static_cast<QToolButton *>(m_controls.value(QString::fromLatin1(name)));
        connect(new QShortcut(sequence, this), &QShortcut::activated, button, &QToolButton::click);
    }
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, this, [this] {
        m_text1->setFocus(Qt::ShortcutFocusReason);
        m_text1->selectAll();
    });

    m_full = new QPushButton(tr("&Return"), this);
    m_full->setObjectName(QStringLiteral("full"));
    connect(m_full, &QPushButton::clicked, this, &frm_full::full_Click);
    m_controls.insert(QStringLiteral("full"), m_full);
    setTabOrder(previous, m_full);

    // Over the address field, which it hides while a page loads.
    m_prog = new QProgressBar(this);
    m_prog->setObjectName(QStringLiteral("prog"));
    m_prog->setTextVisible(false);
    m_prog->hide();
    m_controls.insert(QStringLiteral("prog"), m_prog);

    m_web = m_webViews.create(this);
    m_web->setObjectName(QStringLiteral("web"));
    connect(m_web, &WebView::progressChange, this, &frm_full::web_ProgressChange);
    m_controls.insert(QStringLiteral("web"), m_web);

    m_prog->raise();
    m_prog->setAccessibleName(tr("Page loading"));
    // After "&Return" the page itself, so that the keyboard reaches its links.
    m_web->setAccessibleName(tr("Web page"));
    setTabOrder(m_full, m_web);
    m_text1->setFocus();
}

void frm_full::Form_Load()
{
    m_text1->setText(m_host.addressText());
    if (Options::isOn(m_settings, Options::kFullScreen))
        m_text1->setText(m_host.homeAddress());
    m_web->navigate(m_text1->text());
}

void frm_full::showAddress(const QString &url)
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    m_text1->setText(url);
    m_web->navigate(m_text1->text());
}

void frm_full::Text1_Enter()
{
    m_web->navigate(m_text1->text());
}

void frm_full::web_ProgressChange(int progress, int progressMax)
{
    m_text1->setText(m_web->locationUrl());
    if (progressMax <= 0) {
        m_prog->hide();
        return;
    }
    m_prog->setMaximum(progressMax);
    if (WebView::isLoading(progress, progressMax)) {
        m_prog->setValue(progress);
        m_prog->show();
    } else {
        m_prog->hide();
    }
}

void frm_full::full_Click()
{
    m_host.setViewmode(1);
    m_host.takeBackPage(m_text1->text());
    close();
}

void frm_full::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frm_full::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Some window managers do not maximise a window without a frame: cover the
    // screen's work area ourselves, which a maximised window would do anyway.
    if (isMaximized() && screen() && geometry() != screen()->availableGeometry()) {
        setGeometry(screen()->availableGeometry());
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void frm_full::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A restore to the size the window had before minimizing brings no resize event.
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frm_full::Form_Resize()
{
    if (isMinimized())
        return;
    const double tpp = twipsPerPixel(this);
    // No border: the outer size is the inner size.
    m_layout.resize(width() * tpp, height() * tpp);
    placeControls(m_layout.rects(), m_controls, tpp);
}

void frm_full::closeEvent(QCloseEvent *event)
{
    // However the window goes (the window manager can close it too), the main
    // window browses again, so that nothing is sent to a window that is gone.
    m_host.setViewmode(1);
    event->accept();
}
