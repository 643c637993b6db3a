#pragma once

#include "modtreemodel.h"

#include <QAbstractProxyModel>
#include <QPointer>
#include <QSet>
#include <QString>

#include <vector>

// The mod tree as the filter field shows it. With an empty filter text it is
// the whole tree, row for row; otherwise it holds only the link nodes whose name
// contains the text, ignoring letter case, under their folders, and only the
// folders that keep at least one link.
//
// The matches are found in one pass over the tree's bytes and kept as one flat
// list of source rows per shown folder, so a list of 100,000 links filters in
// a few milliseconds and keeps four bytes per match. A text that contains the
// one before (the user typed on) only narrows the links shown, without a pass
// over the whole tree. The source model only ever resets (a new tree); the
// filter text is applied again to every new tree.
class ModTreeFilter final : public QAbstractProxyModel
{
    Q_OBJECT

public:
    explicit ModTreeFilter(QObject *parent = nullptr);

    // Takes a ModTreeModel; any other model shows no rows.
    void setSourceModel(QAbstractItemModel *source) override;

    QString filterText() const { return m_text; }
    // Shows the links matching `text` (the whole tree for an empty text). Views are reset.
    void setFilterText(const QString &text);
    bool isFiltering() const { return !m_text.isEmpty() || m_onlyPages; }
    // Shows only the links to these pages (the installed mods'), the filter
    // text applied too; `on` false shows every link again. Views are reset.
    void setOnlyPages(bool on, const QSet<QString> &pages = {});
    // Number of link nodes shown.
    int shownLinkCount() const;

    // The node number behind a row, or ModTree::kNoNode.
    int nodeOf(const QModelIndex &index) const;
    // The row showing a node, or an invalid index when the filter hides it.
    QModelIndex indexOfNode(int node) const;

    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &index) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void rebuild();
    // Keeps only the shown links that also match m_text.
    void narrow();
    const ModTree *tree() const;
    int shownFolderCount() const;
    int folderNodeAt(int position) const;
    int linksShownIn(int position) const;
    int sourceRowOf(int position, int row) const;
    int positionOfFolder(int folder) const;

    // internalId: 0 for a folder row, the folder's position + 1 for a link row.
    QPointer<ModTreeModel> m_model;
    QString m_text;
    bool m_onlyPages = false;
    QSet<QString> m_pages;
    // While filtering: the shown folders' node numbers; the source rows of their
    // matching links, folder after folder; where each folder's rows begin (one
    // entry more than folders); and each folder's position, -1 when hidden.
    std::vector<int> m_folders;
    std::vector<int> m_rows;
    std::vector<int> m_firstRow;
    std::vector<int> m_positionOfFolder;
};
