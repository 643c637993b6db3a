#pragma once

#include <QWidget>

#include <functional>

class NavigationBar;
class QPushButton;
class WebView;
class WebViewFactory;

// The fullscreen browser window, shown in the window manager's full screen
// (above its panels and the tray): the browsing row over a web view of its
// own. "&Return", F11 or Esc hands the page back to the main window. Deletes
// itself when closed.
class FullScreenWindow final : public QWidget
{
    Q_OBJECT

public:
    // Opens `startAddress`; Home opens what `homeAddress` tells.
    FullScreenWindow(WebViewFactory &webViews, const QString &startAddress, std::function<QString()> homeAddress,
                     QWidget *parent = nullptr);

    // The remote control's way in: back to full screen, and opens the address here.
    void showAddress(const QString &url);
    // "&Return": asks the main window to browse on at this window's address, and closes.
    void returnToMainWindow();

    WebView *webView() const { return m_webView; }
    NavigationBar *navigationBar() const { return m_navigationBar; }

Q_SIGNALS:
    // The main window browses on at `url`.
    void returnRequested(const QString &url);

private:
    WebView *m_webView = nullptr;
    NavigationBar *m_navigationBar = nullptr;
    QPushButton *m_returnButton = nullptr;
};
