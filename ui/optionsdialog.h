#pragma once

#include <QDialog>

class QCheckBox;
class Messages;
class SettingsStore;

// The options dialog: the five start-up and browsing options as check boxes,
// read from the settings store when it opens and written back by "&Ok" only.
// Modal to the window it belongs to; deletes itself when closed.
class OptionsDialog final : public QDialog
{
    Q_OBJECT

public:
    OptionsDialog(SettingsStore &settings, Messages &messages, QWidget *parent = nullptr);

    // Saves all five options, changed or not, and closes. When the store refuses
    // a value the user is told, and the dialog stays open with its boxes as they
    // are, so that Ok can be tried again or the dialog cancelled.
    void save();

private:
    void load();
    void enableRemoteOnlyBox();

    SettingsStore &m_settings;
    Messages &m_messages;
    QCheckBox *m_showRemoteAtStartupBox = nullptr;
    QCheckBox *m_fullScreenAtStartupBox = nullptr;
    QCheckBox *m_maximizedAtStartupBox = nullptr;
    QCheckBox *m_remoteOnlyAtStartupBox = nullptr;
    QCheckBox *m_defaultBrowserBox = nullptr;
};
