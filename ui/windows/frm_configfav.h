#pragma once

#include "core/favourites.h"

#include <QDialog>
#include <QList>

class QLineEdit;
class QListWidget;
class QPushButton;

// The modal dialog in which the user renames, re-points, reorders, adds and
// deletes favourites. It edits a copy of the table; Ok makes the copy the table
// (which the remote control's list follows), Cancel and the close box drop it.
// Nothing is written to favs.dat here.
class frm_configfav final : public QDialog
{
    Q_OBJECT

public:
    explicit frm_configfav(Favourites &favourites, QWidget *parent = nullptr);
    ~frm_configfav() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    void List1_Click();
    void friendlyname_Change(const QString &text);
    void url_Change(const QString &text);
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command6_Click();
    void Command4_Click();
    void Command5_Click();
    int selectedRow() const;
    void swapRows(int a, int b);
    void updateButtons();

    Favourites &m_favs;
    // The working copy: its size is the number of entries in use, at most 51.
    QList<Favourite> m_workfavs;
    // While false, changes of the two text boxes are not stored in the copy.
    bool m_editsenabled = false;

    QListWidget *m_list1 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QPushButton *m_command4 = nullptr;
    QPushButton *m_command5 = nullptr;
    QPushButton *m_command6 = nullptr;
    QLineEdit *m_friendlyname = nullptr;
    QLineEdit *m_url = nullptr;
};
