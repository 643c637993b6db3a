#pragma once

#include "mods/gamesetup.h"
#include "mods/modinstaller.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;

// Shows what installing a mod's archive will do before it is done: the game
// folder's name (editable), the files with their size, and what a player should
// know (no Linux game library, a map pack). "Install" runs the install on a
// worker thread, so the windows keep going; its result comes back through a
// queued event and installFinished(). The dialog closes when the install has
// succeeded, and says why when not.
class InstallDialog final : public QDialog
{
    Q_OBJECT

public:
    InstallDialog(const GameSetup &setup, const QString &zipPath, const QString &modName, const QString &sourcePage,
                  QWidget *parent = nullptr);

    QString gameName() const;

Q_SIGNALS:
    void installFinished(const ModInstaller::Result &result);

private:
    void install();
    void showResult(const ModInstaller::Result &result);
    void checkName();

    GameSetup m_setup;
    QString m_zipPath;
    QString m_sourcePage;
    QLineEdit *m_gameField = nullptr;
    QLabel *m_problemLabel = nullptr;
    QListWidget *m_files = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    bool m_readable = false;
};
