#include "modtreemodel.h"

ModTreeModel::ModTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

void ModTreeModel::setTree(ModTree tree)
{
    beginResetModel();
    m_tree = std::move(tree);
    ++m_generation;
    endResetModel();
}

QModelIndex ModTreeModel::indexOfNode(int node) const
{
    if (!m_tree.isValid(node))
        return {};
    if (!m_tree.isLink(node))
        return createIndex(node, 0, quintptr(0));
    return createIndex(m_tree.row(node), 0, quintptr(m_tree.parent(node)) + 1);
}

int ModTreeModel::nodeOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return ModTree::kNoNode;
    if (index.internalId() == 0)
        return index.row();
    return m_tree.child(int(index.internalId() - 1), index.row());
}

QModelIndex ModTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < m_tree.folderCount() ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    if (parent.internalId() != 0)
        return {};
    const int folder = parent.row();
    return row < m_tree.childCount(folder) ? createIndex(row, 0, quintptr(folder) + 1) : QModelIndex();
}

QModelIndex ModTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int ModTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return m_tree.folderCount();
    if (parent.internalId() != 0 || parent.column() != 0)
        return 0;
    return m_tree.childCount(parent.row());
}

int ModTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool ModTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant ModTreeModel::data(const QModelIndex &index, int role) const
{
    const int node = nodeOf(index);
    if (node == ModTree::kNoNode)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_tree.text(node);
    case UrlRole:
        return m_tree.url(node);
    default:
        return {};
    }
}

Qt::ItemFlags ModTreeModel::flags(const QModelIndex &index) const
{
    return rowFlags(index);
}

Qt::ItemFlags ModTreeModel::rowFlags(const QModelIndex &index)
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.internalId() != 0)
        f |= Qt::ItemNeverHasChildren;
    return f;
}
