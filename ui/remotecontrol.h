#pragma once

#include <QHash>
#include <QPixmap>
#include <QPoint>
#include <QWidget>

class QCheckBox;
class QListWidget;
class Favourites;
class Messages;
class SettingsStore;
class Shell;

// The remote control: a small borderless window above all others that lists the
// favourites and opens the one picked, in the browsing window or in the default
// browser. Its list mirrors the favourites table for as long as it exists.
// Closing it (Close or Minimize) destroys it; the next showing makes a new one.
// A modal dialog that opens while it stays on top is put on top too, above it.
class RemoteControl final : public QWidget
{
    Q_OBJECT

public:
    RemoteControl(Favourites &favourites, SettingsStore &settings, Shell &shell, Messages &messages,
                  QWidget *parent = nullptr);
    ~RemoteControl() override;

    // Shows the window in normal state, in front, as the main window's button
    // and the tray menu do.
    void showRestored();
    // The installed mods, by the page they came from: a favourite of such a
    // page offers Play in its context menu.
    void setInstalledMods(const QHash<QString, QString> &gameByPage) { m_gameByPage = gameByPage; }

Q_SIGNALS:
    // A favourite was picked while the program browses (not the default browser),
    // or one of the built-in list's addresses, which only the program can open.
    void openRequested(const QString &url);
    // "Show Mod List".
    void showMainWindowRequested();
    // Play the installed mod whose game folder is `game`.
    void playRequested(const QString &game);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Drag {
        None,
        System,
        Manual
    };

    void buildControls();
    void openSelected();
    void openClickedAgain(int row);
    // Enter or Space on the list's current entry.
    void pickEntry(int row);
    void setAlwaysOnTop(bool onTop);
    void appendFavourite(int row);
    void fillList();
    void openFavourite(int row);
    int selectedRow() const;
    void showEntryMenu(const QPoint &at);

    Favourites &m_favs;
    SettingsStore &m_settings;
    Shell &m_shell;
    Messages &m_messages;

    QPixmap m_background;
    QListWidget *m_list = nullptr;
    QCheckBox *m_alwaysOnTopBox = nullptr;

    // The entry that was selected when the mouse went down on the list, so that
    // a click on it opens it again.
    int m_rowAtPress = -1;

    QHash<QString, QString> m_gameByPage;

    Drag m_drag = Drag::None;
    QPoint m_dragFrom;   // global mouse position at the press
    QPoint m_windowFrom; // window position at the press
};
