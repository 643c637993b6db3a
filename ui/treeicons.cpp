#include "treeicons.h"

#include "core/modtreemodel.h"

#include "pictures.h"

QIcon treeIcon(const QString &imageKey)
{
    return pictureIcon(imageKey == QLatin1String("folder") ? QStringLiteral("tree/folder") : QStringLiteral("tree/link"),
                       QSize(16, 16));
}

TreeIconModel::TreeIconModel(QObject *parent)
    : QIdentityProxyModel(parent), m_folder(treeIcon(QStringLiteral("folder"))), m_link(treeIcon(QStringLiteral("link")))
{
}

QVariant TreeIconModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::DecorationRole && index.isValid()) {
        const bool isLink = index.parent().isValid();
        return isLink ? m_link : m_folder;
    }
    return QIdentityProxyModel::data(index, role);
}
