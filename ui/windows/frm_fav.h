#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <functional>

class QCheckBox;
class QListWidget;
class Favourites;
class Messages;
class SettingsStore;
class Shell;

// The program's windows as the remote control reaches them.
struct RemoteControlTargets
{
    // Which window browses: 1 the main window, 2 the fullscreen window.
    std::function<int()> viewmode;
    // Brings the main window back (normal state if it was minimised, shown,
    // focused), puts url into its address box and opens it there.
    std::function<void(const QString &url)> openInMain;
    // Maximises the fullscreen window, puts url into its address box and opens
    // it there, without showing or focusing the window otherwise.
    std::function<void(const QString &url)> openInFullscreen;
    // Brings the main window back: normal state if it was minimised, shown, focused.
    std::function<void()> showMain;
};

// The remote control: a small borderless window above all others that lists the
// favourites and opens the one picked, in the browsing window or in the default
// browser. Its list mirrors the favourites table for as long as it exists.
// Closing it (Close or Minimize) destroys it; the next showing makes a new one.
class frm_fav final : public QWidget
{
    Q_OBJECT

public:
    frm_fav(Favourites &favourites, SettingsStore &settings, Shell &shell, Messages &messages,
            RemoteControlTargets targets, QWidget *parent = nullptr);
    ~frm_fav() override;

    // Shows the window in normal state, in front, as the main window's button
    // and the tray menu do.
    void showRestored();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Drag { None, System, Manual };

    void buildControls();
    void Form_Load();
    void List1_Click();
    void List1_ClickedAgain(int row);
    // Enter or Space on the list's current entry.
    void List1_Picked(int row);
    void Check1_Click(bool checked);
    void Image1_Click();
    void Image2_Click();
    void Image3_Click();
    void favs_added(int row);
    void favs_replaced();
    void openFavourite(int row);
    int selectedRow() const;

    Favourites &m_favs;
    SettingsStore &m_settings;
    Shell &m_shell;
    Messages &m_messages;
    RemoteControlTargets m_targets;

    QPixmap m_background;
    QListWidget *m_list1 = nullptr;
    QCheckBox *m_check1 = nullptr;

    // The entry that was selected when the mouse went down on the list, so that
    // a click on it opens it again.
    int m_rowAtPress = -1;

    Drag m_drag = Drag::None;
    QPoint m_dragFrom;   // global mouse position at the press
    QPoint m_windowFrom; // window position at the press
};
