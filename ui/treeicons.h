#pragma once

#include <QIcon>
#include <QSet>
#include <QStyledItemDelegate>

// The tree's two 16 x 16 pictures, keyed "folder" and "link".
QIcon treeIcon(const QString &imageKey);

// Draws each row of the mod tree with its picture: a folder's at the top
// level, a link's below; and gives it its tooltip: the whole name, which a
// narrow column cuts, with a link's address on a second line. A delegate
// rather than a proxy model, so that the view's walks over every row go
// straight to the tree's model.
class TreeIconDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit TreeIconDelegate(QObject *parent = nullptr);

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // The tooltip of a row: escaped rich text, so that a name like "<CTF> pack"
    // shows as it is.
    static QString toolTip(const QModelIndex &index);

    // The pages of installed mods: their links show in bold, with a check mark.
    void setInstalledPages(const QSet<QString> &pages) { m_installedPages = pages; }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QIcon m_folder;
    QIcon m_link;
    QSet<QString> m_installedPages;
};
