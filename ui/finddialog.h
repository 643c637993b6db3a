#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class ModTreeModel;

// The find dialog: finds, one press at a time, the next mod whose name contains
// the typed text, ignoring letter case, as the filter field matches names.
// Modeless; deletes itself when closed.
//
// Nodes are numbered from 1 in order of addition. Each press examines the nodes
// from the search position to the end of the tree as it is at that moment, so a
// tree rebuilt while the dialog is open is searched from the same number on.
class FindDialog final : public QDialog
{
    Q_OBJECT

public:
    // The model must outlive the dialog (make the dialog a child of the model's owner).
    explicit FindDialog(const ModTreeModel &model, QWidget *parent = nullptr);

    // "Find next": reports the next match and moves the search position past
    // it. Without a match only nothingFound is reported.
    void findNext();

    // Number of the first node that the next press examines.
    int searchPosition() const { return m_position; }

Q_SIGNALS:
    // A press found `node`: the window showing the tree selects it.
    void nodeFound(int node);
    // A press found no further match for `text`; the position stays.
    void nothingFound(const QString &text);

private:
    const ModTreeModel &m_model;
    QLineEdit *m_searchField = nullptr;
    QPushButton *m_findNextButton = nullptr;
    // Not 16 bits: a list may have far more than 32,767 nodes.
    int m_position = 1;

    // The last search that found nothing: no link from m_missFrom to the end of
    // that tree matches m_missText, so presses that repeat it return at once.
    QString m_missText;
    int m_missFrom = -1;
    quint64 m_missGeneration = 0;
};
