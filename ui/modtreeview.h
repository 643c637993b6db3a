#pragma once

#include <QList>
#include <QSet>
#include <QStringList>
#include <QTreeView>

#include <vector>

class ModTreeFilter;
class ModTreeModel;

// The mod tree beside the web view: the folders and their links, each with its
// picture, as the filter field's ModTreeFilter shows them.
//
// QTreeView finds the row of an item by searching its list of rows outward from
// the row it looked at last. With every folder of a 100,000-link list open,
// selecting a mod far from the last one searches tens of thousands of rows, and
// a selection asks several times. This view knows that its model has two levels
// and rows of one height: a folder's row is the folders above it plus the links
// of the open ones, a link's row follows from its folder's. It works rows out
// that way, checks the answer against the row QTreeView has at that place
// (which it finds by position at once), and leaves any other case to QTreeView.
class ModTreeView final : public QTreeView
{
    Q_OBJECT

public:
    // The model must outlive the view.
    explicit ModTreeView(ModTreeModel &model, QWidget *parent = nullptr);

    const ModTreeFilter &filter() const { return *m_filter; }
    // The node a row shows, or ModTree::kNoNode.
    int nodeAt(const QModelIndex &index) const;
    // The row showing a node, or an invalid index when the filter hides it.
    QModelIndex indexOfNode(int node) const;

    // Shows the links whose name contains `text`, under their folders, opened;
    // the empty text shows the whole tree again with the folders that were open
    // before the filter started (unless the tree was rebuilt meanwhile). The
    // current node, or else `fallbackNode`, stays current and in sight when shown.
    void setFilterText(const QString &text, int fallbackNode);
    // Makes a shown node current and selected, in sight, its folder opened.
    void selectNode(int node);
    // Marks the links to these pages as installed mods.
    void setInstalledPages(const QSet<QString> &pages);
    // Shows only the links of installed mods, or every link again.
    void showOnlyInstalled(bool on);
    // What the user made of the view, by names rather than node numbers, so
    // that it outlives a rebuilt tree: the open folders and the current node.
    struct ViewState
    {
        QStringList openFolders;
        QString currentFolder; // the current node's folder, or the current folder
        QString currentLink;   // empty when a folder (or nothing) is current
    };
    ViewState viewState() const;
    // Opens the folders and makes current the node of `state` that the tree
    // still has; under a filter, the folders open again when it is cleared.
    void restoreViewState(const ViewState &state);
    // The width the view needs to show every name of the tree whole, folders
    // closed or open, but no more than `limit`.
    int widthForNames(int limit) const;

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void changeEvent(QEvent *event) override;

private:
    struct Placed
    {
        int row = -1; // among the view's rows, from the top of the tree
        QRect rect;
    };
    // Where the view shows `index`, worked out and checked; row -1 when the
    // arithmetic does not apply or disagrees with the view.
    Placed place(const QModelIndex &index) const;
    int uniformRowHeight() const;
    QSet<QString> m_installedPages;
    bool m_onlyInstalled = false;
    void forgetRows() { m_folderRows.clear(); }
    // After every reset of the filtered tree (new text, new tree): opens every
    // shown folder while filtering.
    void expandFilteredTree();

    ModTreeModel &m_model;
    ModTreeFilter *m_filter = nullptr;
    // The view row of each shown folder, and one past the last row: a folder
    // is open when its links lie between it and the next. Empty when unknown.
    mutable std::vector<int> m_folderRows;
    // The height of every row, 0 when unknown.
    mutable int m_rowHeight = 0;
    // The folders open when the filter was turned on, opened again when it is
    // cleared, unless the tree was rebuilt in between.
    QList<int> m_expandedBeforeFilter;
    quint64 m_expandedGeneration = 0;
};
