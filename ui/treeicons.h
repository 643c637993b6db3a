#pragma once

#include <QIcon>
#include <QStyledItemDelegate>

// The tree's two 16 x 16 pictures, keyed "folder" and "link".
QIcon treeIcon(const QString &imageKey);

// Draws each row of the mod tree with its picture: a folder's at the top
// level, a link's below. A delegate rather than a proxy model, so that the
// view's walks over every row go straight to the tree's model.
class TreeIconDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit TreeIconDelegate(QObject *parent = nullptr);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QIcon m_folder;
    QIcon m_link;
};
