#pragma once

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QModelIndex;
class QPushButton;
class QTreeView;
class ModTreeModel;

// The find dialog: selects, one press at a time, the next link node whose text
// contains the typed text, ignoring letter case. Modeless; deletes itself when
// closed.
//
// Nodes are numbered from 1 in order of addition. Each press examines the nodes
// from the search position to the end of the tree as it is at that moment, so a
// tree rebuilt while the dialog is open is searched from the same number on.
class frm_find final : public QDialog
{
    Q_OBJECT

public:
    // `tree` shows `model`, directly or through proxy models. The model must
    // outlive the dialog (make the dialog a child of the model's owner).
    frm_find(QTreeView *tree, const ModTreeModel &model, QWidget *parent = nullptr);

    // "Find next": selects the next match and moves the search position past
    // it. Without a match nothing changes, and nothing is reported.
    void Command1_Click();

    // Number of the first node that the next press examines.
    int searchPosition() const { return m_position; }

Q_SIGNALS:
    // A press found `node`; emitted before the dialog selects it in the tree
    // view, so that a view which hides the node can show it first.
    void nodeFound(int node);

private:
    void Text1_Change();
    void selectNode(int node);
    QModelIndex viewIndexOf(const QModelIndex &modelIndex) const;

    QPointer<QTreeView> m_tree;
    const ModTreeModel &m_model;
    QLineEdit *m_text1 = nullptr;
    QPushButton *m_findNext = nullptr;
    // Not 16 bits: a list may have far more than 32,767 nodes.
    int m_position = 1;

    // The last search that found nothing: no link from m_missFrom to the end of
    // that tree matches m_missNeedle, so presses that repeat it return at once.
    QString m_missNeedle;
    int m_missFrom = -1;
    quint64 m_missGeneration = 0;
};
