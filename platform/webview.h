#pragma once

#include <QWidget>

// What the windows need of an embedded web view, and no more.
class WebView : public QWidget
{
    Q_OBJECT

public:
    // A page takes the keyboard focus: the view is a stop in its window's Tab order.
    explicit WebView(QWidget *parent = nullptr) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }

    // Starts loading the address exactly as given and returns at once.
    virtual void navigate(const QString &url) = 0;
    // Return false when there is no page to go to.
    virtual bool goBack() = 0;
    virtual bool goForward() = 0;
    // Whether the history holds a page behind or ahead of this one. It changes
    // with a page's address, which a progress report follows.
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    virtual void stop() = 0;
    virtual void refresh() = 0;
    // The address of the page now shown.
    virtual QString locationUrl() const = 0;

    // True while a progress report means "a load is in progress".
    static bool isLoading(int progress, int progressMax)
    {
        return progressMax > 0 && progress >= 0 && progress <= progressMax;
    }

Q_SIGNALS:
    // Raised repeatedly while a page loads. progressMax 0 or less, or progress
    // outside 0..progressMax, means that no load is in progress.
    void progressChange(int progress, int progressMax);
};

// Makes the web views of the program's windows.
class WebViewFactory
{
public:
    virtual ~WebViewFactory() = default;
    virtual WebView *create(QWidget *parent) = 0;
};
