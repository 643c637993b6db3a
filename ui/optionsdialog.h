#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class Messages;
class SettingsStore;

// The options dialog: the five start-up and browsing options as check boxes,
// and the list server (empty: the list built into the program, used from the
// next start), and the game (engine, mods folder, game data, extra arguments,
// with what detection found as the fields' hints and what is missing said in
// words), read from the settings store when it opens and written back by "&Ok"
// only. Modal to the window it belongs to; deletes itself when closed.
class OptionsDialog final : public QDialog
{
    Q_OBJECT

public:
    OptionsDialog(SettingsStore &settings, Messages &messages, QWidget *parent = nullptr);

    // Saves all options, changed or not, and closes. A list server that is not an
    // http or https address with a host is refused before anything is saved.
    // When the store refuses a value the user is told, and the dialog stays open
    // with its fields as they are, so that Ok can be tried again or the dialog
    // cancelled.
    void save();

private:
    void load();
    void enableRemoteOnlyBox();
    // Says what the game setup, as the fields have it, still lacks to play.
    void showGameState();

    SettingsStore &m_settings;
    Messages &m_messages;
    QCheckBox *m_showRemoteAtStartupBox = nullptr;
    QCheckBox *m_fullScreenAtStartupBox = nullptr;
    QCheckBox *m_maximizedAtStartupBox = nullptr;
    QCheckBox *m_remoteOnlyAtStartupBox = nullptr;
    QCheckBox *m_defaultBrowserBox = nullptr;
    QLineEdit *m_listServerField = nullptr;
    // The game: empty fields are detected when a mod is installed or played.
    QLineEdit *m_engineField = nullptr;
    QLineEdit *m_modsFolderField = nullptr;
    QLineEdit *m_gameDataField = nullptr;
    QLineEdit *m_extraArgumentsField = nullptr;
    QLabel *m_gameStateLabel = nullptr;
};
