#pragma once

#include <QDialog>

class QCheckBox;
class Messages;
class SettingsStore;

// The options dialog: the five start-up and browsing options as check boxes,
// read from the settings store when it opens and written back by "&Ok" only.
// Application-modal; deletes itself when closed.
class frm_options final : public QDialog
{
    Q_OBJECT

public:
    frm_options(SettingsStore &settings, Messages &messages, QWidget *parent = nullptr);

    // Saves all five options, changed or not, and closes. When the store refuses
    // a value the user is told, and the dialog stays open with its boxes as they
    // are, so that Ok can be tried again or the dialog cancelled.
    void Command2_Click();

private:
    void Form_Load();
    void Check1_Click();

    SettingsStore &m_settings;
    Messages &m_messages;
    QCheckBox *m_check1 = nullptr;
    QCheckBox *m_check2 = nullptr;
    QCheckBox *m_check3 = nullptr;
    QCheckBox *m_check4 = nullptr;
    QCheckBox *m_check5 = nullptr;
};
