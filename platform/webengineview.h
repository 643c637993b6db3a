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

    void load(const QUrl &url) override;
    QUrl url() const override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void back() override;
    void forward() override;
    void reload() override;
    void stop() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void keepInnerWidgetsInTabPlace();

    QWebEngineView *m_view;
    QPointer<QWidget> m_placedSurface;
};

class WebEngineViewFactory final : public WebViewFactory
{
public:
    WebView *create(QWidget *parent) override { return new WebEngineView(parent); }
};
