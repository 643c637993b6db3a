#pragma once

#include "modtree.h"

#include <QAbstractItemModel>

// Item model over a ModTree for a tree view. It makes strings only for the rows
// the view asks about, so a list of any size resets in constant time.
class ModTreeModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role {
        UrlRole = Qt::UserRole + 1,
    };

    explicit ModTreeModel(QObject *parent = nullptr);

    const ModTree &tree() const { return m_tree; }
    // Replaces the tree; views are reset. Every node number taken before is stale.
    void setTree(ModTree tree);
    // Counts rebuilds, so that a remembered node can tell it belongs to an old tree.
    quint64 generation() const { return m_generation; }

    QModelIndex indexOfNode(int node) const;
    int nodeOf(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The flags of a folder or link row of this model, or of a view of it that
    // numbers its rows the same way.
    static Qt::ItemFlags rowFlags(const QModelIndex &index);

private:
    // internalId: 0 for a folder row, folder number + 1 for a link row.
    ModTree m_tree;
    quint64 m_generation = 0;
};
