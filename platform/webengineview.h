#pragma once

#include "webview.h"

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
    void stop() override;
    void refresh() override;
    QString locationUrl() const override;

private:
    QWebEngineView *m_view;
    bool m_loading = false;
};

class WebEngineViewFactory final : public WebViewFactory
{
public:
    WebView *create(QWidget *parent) override { return new WebEngineView(parent); }
};
