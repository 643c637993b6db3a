#include "fullscreenwindow.h"

#include "designunits.h"
#include "navigationbar.h"
#include "platform/webview.h"

#include <QBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

FullScreenWindow::FullScreenWindow(WebViewFactory &webViews, const QString &startAddress,
                                   std::function<QString()> homeAddress, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("fullScreenWindow"));
    setWindowTitle(tr("Kestrelmoor - Fullscreen"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_webView = webViews.create(this);
    m_webView->setObjectName(QStringLiteral("webView"));
    m_webView->setAccessibleName(tr("Web page"));
    m_navigationBar = new NavigationBar(*m_webView, std::move(homeAddress), this);
    // F11 and Esc leave, as they leave a browser's full screen; Stop keeps its button.
    m_navigationBar->addShortcuts(this, false);
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_F11), QKeySequence(Qt::Key_Escape)}) {
        auto *leave = new QShortcut(keys, this);
        leave->setContext(Qt::WidgetWithChildrenShortcut);
        connect(leave, &QShortcut::activated, this, &FullScreenWindow::returnToMainWindow);
    }

    m_returnButton = new QPushButton(tr("&Return"), this);
    m_returnButton->setObjectName(QStringLiteral("returnButton"));
    connect(m_returnButton, &QPushButton::clicked, this, &FullScreenWindow::returnToMainWindow);

    auto *top = new QHBoxLayout;
    top->setContentsMargins(4, 3, 8, 3);
    top->addWidget(m_navigationBar, 1);
    top->addSpacing(12);
    top->addWidget(m_returnButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top);
    layout->addWidget(m_webView, 1);

    // The address field first, then the buttons; after "&Return" the page
    // itself, so that the keyboard reaches its links.
    QWidget *previous = m_navigationBar->addressField();
    for (const char *name : {"backButton", "forwardButton", "homeButton", "refreshButton", "stopButton"}) {
        QWidget *button = m_navigationBar->findChild<QWidget *>(QString::fromLatin1(name));
        setTabOrder(previous, button);
        previous = button;
    }
    setTabOrder(previous, m_returnButton);
    setTabOrder(m_returnButton, m_webView);
    m_navigationBar->addressField()->setFocus();

    // The design size, for when the window manager takes it out of full screen.
    resize(fromTwips(QSizeF(6720, 5160), this));
    m_navigationBar->openAddress(startAddress);
}

void FullScreenWindow::showAddress(const QString &url)
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    m_navigationBar->openAddress(url);
}

void FullScreenWindow::returnToMainWindow()
{
    Q_EMIT returnRequested(m_navigationBar->addressText());
    close();
}
