#include "treeicons.h"

#include "core/modtreemodel.h"

#include "pictures.h"

#include <QTextDocument>

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
    if (role == Qt::ToolTipRole && index.isValid()) {
        // The whole name, which a narrow column cuts, and a link's address under
        // it; as escaped rich text, so that a name like "<CTF> pack" shows as it is.
        QString tip = QIdentityProxyModel::data(index, Qt::DisplayRole).toString();
        if (index.parent().isValid())
            tip += QLatin1Char('\n') + QIdentityProxyModel::data(index, ModTreeModel::UrlRole).toString();
        return Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap);
    }
    return QIdentityProxyModel::data(index, role);
}
