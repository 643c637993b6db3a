#pragma once

#include <QIcon>
#include <QIdentityProxyModel>

// The tree's two 16 x 16 pictures, keyed "folder" and "link".
QIcon treeIcon(const QString &imageKey);

// Gives each row of the mod tree model its picture, and its tooltip: the name,
// with a link's address on a second line.
class TreeIconModel final : public QIdentityProxyModel
{
    Q_OBJECT

public:
    explicit TreeIconModel(QObject *parent = nullptr);
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QIcon m_folder;
    QIcon m_link;
};
