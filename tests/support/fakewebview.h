#pragma once

#include "platform/webview.h"

#include <QStringList>

// A web view that loads nothing: it records what it was asked to do and keeps a
// history the way a browser does, so that windows can be tested without Chromium.
class FakeWebView final : public WebView
{
public:
    using WebView::WebView;

    void navigate(const QString &url) override
    {
        navigations.append(url);
        m_history.resize(m_index + 1);
        m_history.append(url);
        ++m_index;
    }
    bool goBack() override
    {
        if (m_index <= 0)
            return false;
        --m_index;
        return true;
    }
    bool goForward() override
    {
        if (m_index + 1 >= m_history.size())
            return false;
        ++m_index;
        return true;
    }
    void stop() override { ++stops; }
    void refresh() override { ++refreshes; }
    QString locationUrl() const override { return m_index >= 0 ? m_history.at(m_index) : QString(); }

    void reportProgress(int progress, int progressMax) { Q_EMIT progressChange(progress, progressMax); }

    QStringList navigations;
    int stops = 0;
    int refreshes = 0;

private:
    QStringList m_history;
    qsizetype m_index = -1;
};

class FakeWebViewFactory final : public WebViewFactory
{
public:
    WebView *create(QWidget *parent) override
    {
        auto *view = new FakeWebView(parent);
        views.append(view);
        return view;
    }
    QList<FakeWebView *> views;
};
