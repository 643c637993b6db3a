#pragma once

#include <QHash>
#include <QRectF>
#include <QWidget>

class QLineEdit;
class QProgressBar;
class QPushButton;
class SettingsStore;
class WebView;
class WebViewFactory;

// What the fullscreen window needs of the main window.
class FullScreenHost
{
public:
    virtual ~FullScreenHost() = default;
    // The text of the main window's address field.
    virtual QString addressText() const = 0;
    // The current list's start page on the list server.
    virtual QString homeAddress() const = 0;
    // 1: the main window browses; 2: the fullscreen window does.
    virtual void setViewmode(int mode) = 0;
    // Continues in the main window at `url`: its address field takes the text
    // and its view opens it.
    virtual void takeBackPage(const QString &url) = 0;
};

// The fullscreen window's controls in twips, at design size and after the resize
// rules. Pure arithmetic, so it tests without a window.
class FullScreenLayout final
{
public:
    FullScreenLayout();

    // Applies the rules for a window of width x height twips. A rule whose result
    // would have a negative size is skipped; its control keeps its place.
    void resize(double width, double height);

    QRectF rect(const QString &control) const { return m_rects.value(control); }
    const QHash<QString, QRectF> &rects() const { return m_rects; }

private:
    QHash<QString, QRectF> m_rects;
};

// The fullscreen browser window: borderless and maximized, a row of browsing
// controls over its own web view. Its "&Return" hands the page back to the main
// window. Deletes itself when closed.
class frm_full final : public QWidget
{
    Q_OBJECT

public:
    // Opens at the main window's address, or at the home address when the
    // FullScreen option is on. The host must outlive the window.
    frm_full(FullScreenHost &host, WebViewFactory &webViews, const SettingsStore &settings,
             QWidget *parent = nullptr);

    // The remote control's way in: maximizes the window and opens the address here.
    void showAddress(const QString &url);

    WebView *web() const { return m_web; }

    // "&Return": the main window browses again, at this window's address.
    void full_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    void Form_Resize();
    void Text1_Enter();
    void web_ProgressChange(int progress, int progressMax);

    FullScreenHost &m_host;
    WebViewFactory &m_webViews;
    const SettingsStore &m_settings;
    FullScreenLayout m_layout;
    QHash<QString, QWidget *> m_controls;
    QLineEdit *m_text1 = nullptr;
    QProgressBar *m_prog = nullptr;
    QPushButton *m_full = nullptr;
    WebView *m_web = nullptr;
};
