#include "webengineview.h"

#include <QEvent>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// Links with target="_blank" and window.open() open in the same view: the
// program has no tabs, and a request for a window must not do nothing.
class SameWindowView final : public QWebEngineView
{
public:
    using QWebEngineView::QWebEngineView;

protected:
    QWebEngineView *createWindow(QWebEnginePage::WebWindowType) override { return this; }
};

} // namespace

WebEngineView::WebEngineView(QWidget *parent) : WebView(parent), m_view(new SameWindowView(this))
{
    // A page that cannot be loaded shows the engine's own error page.
    m_view->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);
    keepInnerWidgetsInTabPlace();
    m_view->installEventFilter(this);

    connect(m_view, &QWebEngineView::loadStarted, this, &WebView::loadStarted);
    connect(m_view, &QWebEngineView::loadProgress, this, &WebView::loadProgress);
    connect(m_view, &QWebEngineView::loadFinished, this, [this](bool ok) {
        keepInnerWidgetsInTabPlace();
        Q_EMIT loadFinished(ok);
    });
    connect(m_view, &QWebEngineView::urlChanged, this, &WebView::urlChanged);
    connect(m_view, &QWebEngineView::titleChanged, this, &WebView::titleChanged);
}

bool WebEngineView::eventFilter(QObject *watched, QEvent *event)
{
    // The engine gives the view its drawing surface after adding it as a child.
    if (watched == m_view && event->type() == QEvent::ChildAdded)
        QMetaObject::invokeMethod(this, &WebEngineView::keepInnerWidgetsInTabPlace, Qt::QueuedConnection);
    return WebView::eventFilter(watched, event);
}

// Chromium's drawing surface, which takes the keys, comes with the first page,
// and a new widget joins the end of its window's Tab chain. Put back right
// after this view, Tab reaches the page where the view stands in its window and
// leaves it for the control that follows the view. Qt moves only focusable
// widgets without focus proxies, so the proxies are taken off for the move.
void WebEngineView::keepInnerWidgetsInTabPlace()
{
    QWidget *surface = m_view->focusProxy();
    if (surface && surface == m_placedSurface)
        return;
    const Qt::FocusPolicy viewPolicy = m_view->focusPolicy();
    setFocusProxy(nullptr);
    m_view->setFocusProxy(nullptr);
    m_view->setFocusPolicy(Qt::StrongFocus);
    QWidget::setTabOrder(this, m_view);
    const bool placeSurface = surface && surface->focusPolicy() != Qt::NoFocus && isAncestorOf(surface);
    if (placeSurface)
        QWidget::setTabOrder(m_view, surface);
    // Restored before the proxy returns: a widget passes its policy on to its proxy.
    m_view->setFocusPolicy(viewPolicy);
    m_view->setFocusProxy(surface);
    setFocusProxy(m_view);
    if (placeSurface)
        m_placedSurface = surface;
}

void WebEngineView::load(const QUrl &url)
{
    m_view->load(url);
}

QUrl WebEngineView::url() const
{
    return m_view->url();
}

bool WebEngineView::canGoBack() const
{
    return m_view->history()->canGoBack();
}

bool WebEngineView::canGoForward() const
{
    return m_view->history()->canGoForward();
}

void WebEngineView::back()
{
    m_view->back();
}

void WebEngineView::forward()
{
    m_view->forward();
}

void WebEngineView::reload()
{
    m_view->reload();
}

void WebEngineView::stop()
{
    m_view->stop();
}
