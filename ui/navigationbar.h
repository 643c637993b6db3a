#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;
class QProgressBar;
class QToolButton;
class WebView;

// The browsing row over a web view: Back, Forward, Home, Refresh, Stop and the
// address field with the page's load progress, and the keys a browser user
// expects (Alt+Left, Alt+Right, Alt+Home, F5, Esc, Ctrl+L). The main window and
// the fullscreen window each have one over their own view.
class NavigationBar final : public QWidget
{
    Q_OBJECT

public:
    // `homeAddress` tells the address Home opens, read at each press.
    NavigationBar(WebView &view, std::function<QString()> homeAddress, QWidget *parent = nullptr);

    // The browser keys, live while the focus is anywhere in `window`. Without
    // `escapeStops` Esc is left to the window (the fullscreen window leaves with it).
    void addShortcuts(QWidget *window, bool escapeStops = true);

    QString addressText() const;
    // Shows `url` in the address field and opens it in the view.
    void openAddress(const QString &url);
    void focusAddressField();
    QLineEdit *addressField() const { return m_addressField; }

    // What the user typed into the address field, as the address to open: an
    // address with a scheme goes as typed, one without (www.example.com) is
    // completed the way browsers do.
    static QString addressFromUserInput(const QString &text);

Q_SIGNALS:
    // A page started or ended loading.
    void loadingChanged(bool loading);
    // An address typed in the field was not opened; message says why.
    void addressRefused(const QString &message);
    // The view is at another address: a load, Back or Forward took it there.
    void pageAddressChanged(const QString &url);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void openTypedAddress();
    // A load began or ended, or the view's address changed meanwhile.
    void showLoading(bool loading);
    void showAddress(bool loading);
    void showInField(const QString &address);
    void stopLoading();
    // Back and Forward while there is history that way, Stop while a page loads.
    void enableButtons();
    void noticePageAddress();

    WebView &m_view;
    std::function<QString()> m_homeAddress;
    QToolButton *m_backButton = nullptr;
    QToolButton *m_forwardButton = nullptr;
    QToolButton *m_homeButton = nullptr;
    QToolButton *m_refreshButton = nullptr;
    QToolButton *m_stopButton = nullptr;
    QLineEdit *m_addressField = nullptr;
    QProgressBar *m_loadProgress = nullptr;
    bool m_loading = false;
    // The address last asked for, and the view's address at that moment: the
    // field shows the one asked for until the view reaches another address.
    QString m_pendingAddress;
    QString m_addressBeforeLoad;
    bool m_stoppedByUser = false; // Stop (or Esc) while that load was in progress
    bool m_loadSeen = false;      // a report of that load in progress came
    QString m_pageAddress;        // the view's address last told of
};
