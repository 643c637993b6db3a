#pragma once

#include "platform/messages.h"
#include "platform/shell.h"
#include "platform/tray.h"
#include "platform/webview.h"

#include <QMenu>
#include <QStringList>

#include <functional>
#include <optional>

// Records every message box instead of showing it. Answers with the queued buttons; with none queued, Cancel where it
// is offered (so that no question can loop), else the first button offered.
class FakeMessages final : public Messages
{
public:
    struct Shown
    {
        QMessageBox::Icon icon;
        QString title, text;
        QMessageBox::StandardButtons buttons;
    };

    QMessageBox::StandardButton show(QWidget *, QMessageBox::Icon icon, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons, const QString & = {}) override
    {
        shown.append(Shown{icon, title, text, buttons});
        if (whileShown)
            whileShown(shown.last());
        if (!answers.isEmpty())
            return answers.takeFirst();
        const int flags = buttons.toInt();
        return buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::StandardButton(flags & -flags);
    }

    QList<Shown> shown;
    QList<QMessageBox::StandardButton> answers;
    std::function<void(const Shown &)> whileShown; // runs while the box would be open
};

// Records what would have been opened outside the program.
class FakeShell final : public Shell
{
public:
    bool openUrl(const QString &url) override { return opened.append(url), succeed; }
    bool openFolder(const QString &path) override { return folders.append(path), succeed; }
    QStringList opened, folders;
    bool succeed = true;
};

// A notification area that a test clicks by calling click().
class FakeTray final : public Tray
{
public:
    bool isAvailable() const override { return available; }
    void install(const QIcon &, const QString &, QMenu *) override { installed = true; }
    void remove() override { installed = false; }
    void click() { Q_EMIT restoreRequested(); }
    bool available = true, installed = false;
};

// A web view that loads nothing: it records what it was asked to do and keeps a history the way a browser does, and
// tells of loads when the test plays them. While shownAddress is set, the view reports it as its address (a page still
// at the old address, about:blank after a stopped first load).
class FakeWebView final : public WebView
{
public:
    using WebView::WebView;

    void load(const QUrl &url) override { navigations.append(url.toString()), m_history = m_history.mid(0, ++m_index) << url.toString(); }
    QUrl url() const override { return QUrl(shownAddress.value_or(m_history.value(m_index))); }
    bool canGoBack() const override { return m_index > 0; }
    bool canGoForward() const override { return m_index + 1 < m_history.size(); }
    void back() override { m_index -= canGoBack(); }
    void forward() override { m_index += canGoForward(); }
    void reload() override { ++reloads; }
    void stop() override { ++stops; }
    void startLoad(int progress = 0) { Q_EMIT loadStarted(), Q_EMIT loadProgress(progress); }
    void endLoad(bool ok = true) { Q_EMIT urlChanged(url()), Q_EMIT loadFinished(ok); }

    QStringList navigations;
    int stops = 0, reloads = 0;
    std::optional<QString> shownAddress;

private:
    QStringList m_history;
    qsizetype m_index = -1;
};

class FakeWebViewFactory final : public WebViewFactory
{
public:
    WebView *create(QWidget *parent) override { return views.append(new FakeWebView(parent)), views.last(); }
    QList<FakeWebView *> views;
};
