#pragma once

#include <QDialog>
#include <QString>

class Messages;
class QPushButton;
class QTreeWidget;

// The mods installed in the mods folder: name, folder, size and the page each
// came from, with Play and Uninstall. An uninstall asks first whether the files
// changed or added since the install (a config.cfg, saves) go too, to the
// trash; it runs on a worker thread and reports back through a queued event.
class InstalledModsDialog final : public QDialog
{
    Q_OBJECT

public:
    InstalledModsDialog(QString modsFolder, QString engineFolder, Messages &messages, QWidget *parent = nullptr);

    void refresh();

Q_SIGNALS:
    void playRequested(const QString &game);
    // An uninstall ended; the tree's marks follow.
    void modsChanged();

private:
    QString selectedGame() const;
    void uninstallSelected();

    QString m_modsFolder;
    QString m_engineFolder;
    Messages &m_messages;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_playButton = nullptr;
    QPushButton *m_uninstallButton = nullptr;
};
