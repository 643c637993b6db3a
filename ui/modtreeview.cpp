#include "modtreeview.h"

#include "core/modtreefilter.h"
#include "core/modtreemodel.h"
#include "treeicons.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

ModTreeView::ModTreeView(ModTreeModel &model, QWidget *parent) : QTreeView(parent), m_model(model)
{
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new TreeIconDelegate(this));
    m_filter = new ModTreeFilter(this);
    m_filter->setSourceModel(&model);
    setModel(m_filter);

    // Anything that moves rows makes the known ones stale.
    connect(this, &QTreeView::expanded, this, &ModTreeView::forgetRows);
    connect(this, &QTreeView::collapsed, this, &ModTreeView::forgetRows);
    connect(m_filter, &QAbstractItemModel::layoutChanged, this, &ModTreeView::forgetRows);
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, &ModTreeView::forgetRows);
    connect(m_filter, &QAbstractItemModel::rowsRemoved, this, &ModTreeView::forgetRows);
    connect(this, &QAbstractItemView::iconSizeChanged, this, [this] { m_rowHeight = 0; });
    // After QTreeView's own reset: a new tree under a filter shows its matches opened.
    connect(m_filter, &QAbstractItemModel::modelReset, this, [this] {
        forgetRows();
        m_rowHeight = 0;
        expandFilteredTree();
    });
}

void ModTreeView::setInstalledPages(const QSet<QString> &pages)
{
    static_cast<TreeIconDelegate *>(itemDelegate())->setInstalledPages(pages);
    m_installedPages = pages;
    if (m_onlyInstalled)
        m_filter->setOnlyPages(true, pages);
    viewport()->update();
}

void ModTreeView::showOnlyInstalled(bool on)
{
    m_onlyInstalled = on;
    m_filter->setOnlyPages(on, m_installedPages);
}

int ModTreeView::nodeAt(const QModelIndex &index) const
{
    return m_filter->nodeOf(index);
}

QModelIndex ModTreeView::indexOfNode(int node) const
{
    return m_filter->indexOfNode(node);
}

void ModTreeView::setFilterText(const QString &text, int fallbackNode)
{
    int current = nodeAt(currentIndex());
    if (current == ModTree::kNoNode)
        current = fallbackNode;
    if (!m_filter->isFiltering() && !text.isEmpty()) {
        m_expandedBeforeFilter.clear();
        for (int row = 0, rows = m_filter->rowCount(); row < rows; ++row) {
            const QModelIndex folder = m_filter->index(row, 0);
            if (isExpanded(folder))
                m_expandedBeforeFilter.append(nodeAt(folder));
        }
        m_expandedGeneration = m_model.generation();
    }
    m_filter->setFilterText(text);
    if (!m_filter->isFiltering()) {
        // The view lays its rows out once, when it next needs them.
        if (m_expandedGeneration == m_model.generation()) {
            for (int folder : std::as_const(m_expandedBeforeFilter))
                expand(indexOfNode(folder));
        }
        m_expandedBeforeFilter.clear();
    }
    const QModelIndex row = indexOfNode(current);
    if (row.isValid()) {
        if (row.parent().isValid())
            expand(row.parent());
        selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
        scrollTo(row);
    }
}

void ModTreeView::expandFilteredTree()
{
    if (m_filter->isFiltering())
        expandAll();
}

void ModTreeView::selectNode(int node)
{
    const QModelIndex index = indexOfNode(node);
    if (!index.isValid())
        return;
    if (index.parent().isValid() && !isExpanded(index.parent()))
        expand(index.parent());
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

ModTreeView::ViewState ModTreeView::viewState() const
{
    const ModTree &tree = m_model.tree();
    ViewState state;
    if (!m_filter->isFiltering()) {
        for (int row = 0, rows = m_filter->rowCount(); row < rows; ++row) {
            const QModelIndex folder = m_filter->index(row, 0);
            if (isExpanded(folder))
                state.openFolders.append(tree.text(nodeAt(folder)));
        }
    } else if (m_expandedGeneration == m_model.generation()) {
        for (int folder : m_expandedBeforeFilter)
            state.openFolders.append(tree.text(folder));
    }
    const int current = nodeAt(currentIndex());
    if (tree.isLink(current)) {
        state.currentFolder = tree.text(tree.parent(current));
        state.currentLink = tree.text(current);
    } else if (tree.isValid(current)) {
        state.currentFolder = tree.text(current);
    }
    return state;
}

void ModTreeView::restoreViewState(const ViewState &state)
{
    const ModTree &tree = m_model.tree();
    // Folder names are unique in a tree; the first link of a name stands for it.
    auto folderNamed = [&tree](const QString &name) {
        for (int folder = 0; folder < tree.folderCount(); ++folder)
            if (tree.text(folder) == name)
                return folder;
        return int(ModTree::kNoNode);
    };
    QList<int> open;
    for (const QString &name : state.openFolders)
        if (const int folder = folderNamed(name); folder != ModTree::kNoNode)
            open.append(folder);
    if (m_filter->isFiltering()) {
        m_expandedBeforeFilter = open;
        m_expandedGeneration = m_model.generation();
    } else {
        for (int folder : std::as_const(open))
            expand(indexOfNode(folder));
    }
    int current = folderNamed(state.currentFolder);
    if (current != ModTree::kNoNode && !state.currentLink.isEmpty()) {
        const int folder = current;
        current = ModTree::kNoNode;
        for (int row = 0; row < tree.childCount(folder) && current == ModTree::kNoNode; ++row)
            if (tree.text(tree.child(folder, row)) == state.currentLink)
                current = tree.child(folder, row);
    }
    const QModelIndex index = indexOfNode(current);
    if (index.isValid()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        scrollTo(index);
    }
}

int ModTreeView::widthForNames(int limit) const
{
    const ModTree &tree = m_model.tree();
    const QModelIndex first = m_filter->index(0, 0);
    if (!first.isValid())
        return 0;
    // What a row adds to its name (the picture, the margins) as the delegate
    // says for the first row, and what the view adds to its rows.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QFontMetrics metrics(font());
    const int rowExtra =
        itemDelegate()->sizeHint(option, first).width() - metrics.horizontalAdvance(first.data().toString());
    const int viewExtra =
        2 * frameWidth() + verticalScrollBar()->sizeHint().width() + (rootIsDecorated() ? indentation() : 0);
    int width = 0;
    // Measured from the tree's bytes rather than through the model, and only
    // until the limit is reached: a list of a great many links stays quick.
    for (int node = 0; node < tree.count() && width < limit; ++node) {
        const int indent = tree.isLink(node) ? indentation() : 0;
        width = std::max(width, viewExtra + rowExtra + indent + metrics.horizontalAdvance(tree.text(node)));
    }
    return std::min(width, limit);
}

int ModTreeView::uniformRowHeight() const
{
    // What QTreeView takes for every row when their heights are uniform.
    if (m_rowHeight <= 0)
        m_rowHeight = indexRowSizeHint(model()->index(0, 0, rootIndex()));
    return m_rowHeight;
}

ModTreeView::Placed ModTreeView::place(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != m_filter || model() != m_filter || index.column() != 0 ||
        rootIndex().isValid() || !uniformRowHeights())
        return {};
    if (m_folderRows.empty()) {
        const int folders = m_filter->rowCount();
        m_folderRows.resize(size_t(folders) + 1);
        int row = 0;
        for (int position = 0; position < folders; ++position) {
            m_folderRows[size_t(position)] = row;
            const QModelIndex folder = m_filter->index(position, 0);
            row += 1 + (isExpanded(folder) ? m_filter->rowCount(folder) : 0);
        }
        m_folderRows[size_t(folders)] = row;
    }
    const QModelIndex folder = index.parent();
    const int position = folder.isValid() ? folder.row() : index.row();
    if (position < 0 || size_t(position) + 1 >= m_folderRows.size())
        return {};
    const int folderRow = m_folderRows[size_t(position)];
    int level = 0;
    Placed placed;
    if (!folder.isValid()) {
        placed.row = folderRow;
    } else {
        if (m_folderRows[size_t(position) + 1] - folderRow <= 1)
            return {}; // the folder is closed
        placed.row = folderRow + 1 + index.row();
        level = 1;
    }

    const int height = uniformRowHeight();
    if (height <= 0)
        return {};
    const int scrolled = verticalScrollBar()->value();
    const int y = verticalScrollMode() == QAbstractItemView::ScrollPerItem ? (placed.row - scrolled) * height
                                                                           : placed.row * height - scrolled;
    const int indent = (level + (rootIsDecorated() ? 1 : 0)) * indentation();
    placed.rect = QRect(columnViewportPosition(0) + (isRightToLeft() ? 0 : indent), y, columnWidth(0) - indent, height);

    // The view must have this very item at the row's top and bottom edge.
    const int x = columnViewportPosition(0) + columnWidth(0) / 2;
    if (indexAt(QPoint(x, y)) != index || indexAt(QPoint(x, y + height - 1)) != index)
        return {};
    return placed;
}

QRect ModTreeView::visualRect(const QModelIndex &index) const
{
    const Placed placed = place(index);
    if (placed.row >= 0)
        return placed.rect;
    const QRect rect = QTreeView::visualRect(index);
    if (rect.isValid() && uniformRowHeights())
        m_rowHeight = rect.height();
    return rect;
}

QRegion ModTreeView::visualRegionForSelection(const QItemSelection &selection) const
{
    if (model() != m_filter)
        return QTreeView::visualRegionForSelection(selection);
    QRegion region;
    const QRect viewportRect = viewport()->rect();
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid())
            continue;
        QRect rect = visualRect(range.topLeft()) | visualRect(range.bottomRight());
        if (!rect.isValid())
            continue;
        rect.setX(columnViewportPosition(isRightToLeft() ? range.right() : range.left()));
        if (viewportRect.intersects(rect))
            region += rect;
    }
    return region;
}

void ModTreeView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != m_filter) {
        QTreeView::scrollTo(index, hint);
        return;
    }
    executeDelayedItemsLayout();
    // A link in a closed folder is shown by opening the folder, as QTreeView does.
    const QModelIndex folder = index.parent();
    if (folder.isValid() && state() == NoState && itemsExpandable() && !isExpanded(folder))
        expand(folder);
    const Placed placed = place(index);
    if (placed.row < 0) {
        QTreeView::scrollTo(index, hint);
        return;
    }
    // The scroll range must cover the rows (an animated opening sets it only
    // when done); bringing it up to date every time would double a selection's cost.
    const int rows = m_folderRows.back();
    const int pageRows = std::max(rows > 0 ? 1 : 0, viewport()->height() / placed.rect.height());
    const int range = verticalScrollMode() == QAbstractItemView::ScrollPerItem
                          ? rows - pageRows
                          : rows * placed.rect.height() - viewport()->height();
    if (verticalScrollBar()->maximum() != std::max(0, range))
        updateGeometries();

    // Vertically as QTreeView scrolls, in either scroll mode.
    const QRect area = viewport()->rect();
    QScrollBar *bar = verticalScrollBar();
    const int height = placed.rect.height();
    if (verticalScrollMode() == QAbstractItemView::ScrollPerItem) {
        const int top = bar->value();
        if (hint == EnsureVisible && placed.row >= top && placed.row < top + bar->pageStep()) {
            // in sight already
        } else if (hint == PositionAtTop || (hint == EnsureVisible && placed.row < top)) {
            bar->setValue(placed.row);
        } else {
            // The first row that leaves the item at the bottom, or in the middle.
            int room = hint == PositionAtCenter ? area.height() / 2 + height - 1 : area.height();
            int first = placed.row;
            if (room > height) {
                while (first >= 0) {
                    room -= height;
                    if (room < 0) {
                        ++first;
                        break;
                    }
                    --first;
                }
            }
            bar->setValue(first);
        }
    } else {
        const QRect cell(columnViewportPosition(0), placed.rect.y(), columnWidth(0), height);
        if (cell.isEmpty()) {
            // nothing to show
        } else if (hint == EnsureVisible && area.contains(cell)) {
            viewport()->update(cell);
        } else {
            const bool above = hint == EnsureVisible && (cell.top() < area.top() || area.height() < cell.height());
            const bool below = hint == EnsureVisible && cell.bottom() > area.bottom() && cell.height() < area.height();
            int value = bar->value();
            if (hint == PositionAtTop || above)
                value += cell.top();
            else if (hint == PositionAtBottom || below)
                value += cell.bottom() - area.height();
            else if (hint == PositionAtCenter)
                value += cell.top() - (area.height() - cell.height()) / 2;
            bar->setValue(value);
        }
    }

    // Horizontally: the column in sight, as far as it fits.
    const int viewportWidth = viewport()->width();
    const int offset = header()->offset();
    const int position = header()->sectionPosition(0);
    const int width = header()->sectionSize(0);
    if (hint == PositionAtCenter) {
        horizontalScrollBar()->setValue(position - (viewportWidth - width) / 2);
    } else if (position - offset < 0 || width > viewportWidth) {
        horizontalScrollBar()->setValue(position);
    } else if (position - offset + width > viewportWidth) {
        horizontalScrollBar()->setValue(position - viewportWidth + width);
    }
}

void ModTreeView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_rowHeight = 0;
    QTreeView::changeEvent(event);
}
