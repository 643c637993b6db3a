#include "modtreefilter.h"

#include "namematcher.h"

#include <algorithm>

ModTreeFilter::ModTreeFilter(QObject *parent) : QAbstractProxyModel(parent) {}

void ModTreeFilter::setSourceModel(QAbstractItemModel *source)
{
    beginResetModel();
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = qobject_cast<ModTreeModel *>(source);
    QAbstractProxyModel::setSourceModel(source);
    if (m_model) {
        connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
        connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
            rebuild();
            endResetModel();
        });
    }
    rebuild();
    endResetModel();
}

void ModTreeFilter::setFilterText(const QString &text)
{
    if (text == m_text)
        return;
    beginResetModel();
    // Whatever contains the new text contains the old one, letter case aside.
    const bool narrowing = !m_text.isEmpty() && tree() && text.contains(m_text, Qt::CaseInsensitive);
    m_text = text;
    if (narrowing)
        narrow();
    else
        rebuild();
    endResetModel();
}

void ModTreeFilter::setOnlyPages(bool on, const QSet<QString> &pages)
{
    beginResetModel();
    m_onlyPages = on;
    m_pages = on ? pages : QSet<QString>();
    rebuild();
    endResetModel();
}

const ModTree *ModTreeFilter::tree() const
{
    return m_model ? &m_model->tree() : nullptr;
}

void ModTreeFilter::rebuild()
{
    m_folders.clear();
    m_rows.clear();
    m_firstRow.clear();
    m_positionOfFolder.clear();
    const ModTree *t = tree();
    if (!t || !isFiltering())
        return;
    const NameMatcher matcher(m_text);

    // The links in node order, which is the order of their bytes in the file:
    // one sequential pass, however the file mixes the folders.
    struct Match
    {
        int folder;
        int row;
    };
    std::vector<Match> matches;
    const int folders = t->folderCount();
    std::vector<int> perFolder(size_t(folders), 0);
    // A folder's links are its children in node order: the links of a folder
    // passed so far give the next one's row.
    std::vector<int> passed(size_t(folders), 0);
    for (int node = folders, count = t->count(); node < count; ++node) {
        const int folder = t->parent(node);
        if (folder < 0)
            continue;
        const int row = passed[size_t(folder)]++;
        if (!matcher.matches(t->textBytes(node)) || (m_onlyPages && !m_pages.contains(t->url(node))))
            continue;
        matches.push_back(Match{folder, row});
        ++perFolder[size_t(folder)];
    }

    // Folders are nodes 0 to folderCount() - 1, in the order they are shown.
    m_positionOfFolder.assign(size_t(folders), -1);
    m_firstRow.push_back(0);
    for (int folder = 0; folder < folders; ++folder) {
        if (perFolder[size_t(folder)] == 0)
            continue;
        m_positionOfFolder[size_t(folder)] = int(m_folders.size());
        m_folders.push_back(folder);
        m_firstRow.push_back(m_firstRow.back() + perFolder[size_t(folder)]);
    }
    // A link is added as its folder's last child, so within a folder node order
    // is row order and each folder's rows come out ascending.
    m_rows.resize(matches.size());
    std::vector<int> next(m_firstRow.begin(), m_firstRow.end() - 1);
    for (const Match &m : matches)
        m_rows[size_t(next[size_t(m_positionOfFolder[size_t(m.folder)])]++)] = m.row;
}

void ModTreeFilter::narrow()
{
    const ModTree *t = tree();
    const NameMatcher matcher(m_text);
    // The kept rows stay in their order, so they are written over the old ones.
    size_t kept = 0;
    size_t shown = 0;
    for (size_t position = 0; position < m_folders.size(); ++position) {
        const int folder = m_folders[position];
        const size_t first = kept;
        for (int i = m_firstRow[position], end = m_firstRow[position + 1]; i < end; ++i) {
            const int row = m_rows[size_t(i)];
            if (matcher.matches(t->textBytes(t->child(folder, row))))
                m_rows[kept++] = row;
        }
        if (kept == first) {
            m_positionOfFolder[size_t(folder)] = -1;
            continue;
        }
        m_positionOfFolder[size_t(folder)] = int(shown);
        m_folders[shown] = folder;
        m_firstRow[shown] = int(first);
        ++shown;
    }
    m_folders.resize(shown);
    m_firstRow.resize(shown + 1);
    m_firstRow[shown] = int(kept);
    m_rows.resize(kept);
}

int ModTreeFilter::shownFolderCount() const
{
    if (isFiltering())
        return int(m_folders.size());
    const ModTree *t = tree();
    return t ? t->folderCount() : 0;
}

int ModTreeFilter::shownLinkCount() const
{
    if (isFiltering())
        return int(m_rows.size());
    const ModTree *t = tree();
    return t ? t->linkCount() : 0;
}

int ModTreeFilter::folderNodeAt(int position) const
{
    return isFiltering() ? m_folders[size_t(position)] : position;
}

int ModTreeFilter::linksShownIn(int position) const
{
    if (isFiltering())
        return m_firstRow[size_t(position) + 1] - m_firstRow[size_t(position)];
    return tree()->childCount(position);
}

int ModTreeFilter::sourceRowOf(int position, int row) const
{
    return isFiltering() ? m_rows[size_t(m_firstRow[size_t(position)] + row)] : row;
}

int ModTreeFilter::positionOfFolder(int folder) const
{
    if (isFiltering())
        return folder >= 0 && size_t(folder) < m_positionOfFolder.size() ? m_positionOfFolder[size_t(folder)] : -1;
    return folder >= 0 && folder < shownFolderCount() ? folder : -1;
}

int ModTreeFilter::nodeOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || !tree())
        return ModTree::kNoNode;
    if (index.internalId() == 0)
        return index.row() < shownFolderCount() ? folderNodeAt(index.row()) : ModTree::kNoNode;
    const int position = int(index.internalId() - 1);
    if (position >= shownFolderCount() || index.row() >= linksShownIn(position))
        return ModTree::kNoNode;
    return tree()->child(folderNodeAt(position), sourceRowOf(position, index.row()));
}

QModelIndex ModTreeFilter::indexOfNode(int node) const
{
    const ModTree *t = tree();
    if (!t || !t->isValid(node))
        return {};
    if (!t->isLink(node)) {
        const int position = positionOfFolder(node);
        return position < 0 ? QModelIndex() : createIndex(position, 0, quintptr(0));
    }
    const int position = positionOfFolder(t->parent(node));
    if (position < 0)
        return {};
    const int sourceRow = t->row(node);
    int row = sourceRow;
    if (isFiltering()) {
        const auto first = m_rows.begin() + m_firstRow[size_t(position)];
        const auto last = m_rows.begin() + m_firstRow[size_t(position) + 1];
        const auto it = std::lower_bound(first, last, sourceRow);
        if (it == last || *it != sourceRow)
            return {};
        row = int(it - first);
    }
    return createIndex(row, 0, quintptr(position) + 1);
}

QModelIndex ModTreeFilter::mapToSource(const QModelIndex &proxyIndex) const
{
    return m_model ? m_model->indexOfNode(nodeOf(proxyIndex)) : QModelIndex();
}

QModelIndex ModTreeFilter::mapFromSource(const QModelIndex &sourceIndex) const
{
    return m_model ? indexOfNode(m_model->nodeOf(sourceIndex)) : QModelIndex();
}

QModelIndex ModTreeFilter::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || !tree())
        return {};
    if (!parent.isValid())
        return row < shownFolderCount() ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    if (parent.model() != this || parent.internalId() != 0 || parent.row() >= shownFolderCount())
        return {};
    const int position = parent.row();
    return row < linksShownIn(position) ? createIndex(row, 0, quintptr(position) + 1) : QModelIndex();
}

QModelIndex ModTreeFilter::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int ModTreeFilter::rowCount(const QModelIndex &parent) const
{
    if (!tree())
        return 0;
    if (!parent.isValid())
        return shownFolderCount();
    if (parent.model() != this || parent.internalId() != 0 || parent.column() != 0 ||
        parent.row() >= shownFolderCount())
        return 0;
    return linksShownIn(parent.row());
}

int ModTreeFilter::columnCount(const QModelIndex &) const
{
    return 1;
}

bool ModTreeFilter::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QModelIndex ModTreeFilter::sibling(int row, int column, const QModelIndex &index) const
{
    return this->index(row, column, parent(index));
}

Qt::ItemFlags ModTreeFilter::flags(const QModelIndex &index) const
{
    // Without a trip through the source model: views ask for every row.
    return ModTreeModel::rowFlags(index);
}
