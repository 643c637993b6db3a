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
class FavouritesDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit FavouritesDialog(Favourites &favourites, QWidget *parent = nullptr);
    ~FavouritesDialog() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void load();
    void showSelectedEntry();
    void renameSelected(const QString &text);
    void repointSelected(const QString &text);
    void moveUp();
    void moveDown();
    void addEntry();
    void deleteSelected();
    void acceptEdits();
    int selectedRow() const;
    void swapRows(int a, int b);
    void updateButtons();

    Favourites &m_favs;
    // The working copy: its size is the number of entries in use, at most 51.
    QList<Favourite> m_entries;
    // While false, changes of the two text boxes are not stored in the copy.
    bool m_editsEnabled = false;

    QListWidget *m_list = nullptr;
    QPushButton *m_moveUpButton = nullptr;
    QPushButton *m_moveDownButton = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_okButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QLineEdit *m_nameField = nullptr;
    QLineEdit *m_urlField = nullptr;
};
