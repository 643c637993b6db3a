#pragma once

#include <QUrl>
#include <QWidget>

// What the windows need of an embedded web view, in QWebEngineView's terms.
class WebView : public QWidget
{
    Q_OBJECT

public:
    // A page takes the keyboard focus: the view is a stop in its window's Tab order.
    explicit WebView(QWidget *parent = nullptr) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }

    // Starts loading the address exactly as given and returns at once.
    virtual void load(const QUrl &url) = 0;
    // The address of the page now shown.
    virtual QUrl url() const = 0;
    // Whether the history holds a page behind or ahead of this one.
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    // Each does nothing where there is nothing to do.
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual void reload() = 0;
    virtual void stop() = 0;

Q_SIGNALS:
    void loadStarted();
    void loadProgress(int progress); // 0 to 100
    // The load ended, loaded or not (stopped, failed, a download).
    void loadFinished(bool ok);
    void urlChanged(const QUrl &url);
    void titleChanged(const QString &title);
};

// Makes the web views of the program's windows.
class WebViewFactory
{
public:
    virtual ~WebViewFactory() = default;
    virtual WebView *create(QWidget *parent) = 0;
};
