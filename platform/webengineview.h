#pragma once

#include "webview.h"

#include <QPointer>

class QWebEngineView;

// The web view over Qt WebEngine (Chromium).
class WebEngineView final : public WebView
{
    Q_OBJECT

public:
    explicit WebEngineView(QWidget *parent = nullptr);

    void navigate(const QString &url) override;
    bool goBack() override;
    bool goForward() override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void stop() override;
    void refresh() override;
    QString locationUrl() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void keepInnerWidgetsInTabPlace();

    QWebEngineView *m_view;
    QPointer<QWidget> m_placedSurface;
    bool m_loading = false;
};

class WebEngineViewFactory final : public WebViewFactory
{
public:
    WebView *create(QWidget *parent) override { return new WebEngineView(parent); }
};
