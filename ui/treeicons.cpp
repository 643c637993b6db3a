#include "treeicons.h"

#include "core/modtreemodel.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap drawFolder()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x8a, 0x62, 0x10));
    p.setBrush(QColor(0xe8, 0xb4, 0x3a));
    QPainterPath tab;
    tab.moveTo(1.5, 4.5);
    tab.lineTo(1.5, 2.5);
    tab.lineTo(6.5, 2.5);
    tab.lineTo(8.0, 4.5);
    tab.closeSubpath();
    p.drawPath(tab);
    p.setBrush(QColor(0xf6, 0xcf, 0x5c));
    p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.2, 1.2);
    return pm;
}

QPixmap drawLink()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // A page with a folded corner and a globe-like mark.
    p.setPen(QColor(0x55, 0x5d, 0x66));
    p.setBrush(Qt::white);
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10.0, 1.5);
    page.lineTo(13.5, 5.0);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.drawPath(page);
    p.drawLine(QPointF(10.0, 1.5), QPointF(10.0, 5.0));
    p.drawLine(QPointF(10.0, 5.0), QPointF(13.5, 5.0));
    p.setPen(QPen(QColor(0x1c, 0x6e, 0xc9), 1.2));
    p.setBrush(QColor(0xcf, 0xe4, 0xfa));
    p.drawEllipse(QPointF(8.5, 9.8), 3.2, 3.2);
    p.drawLine(QPointF(5.3, 9.8), QPointF(11.7, 9.8));
    p.drawEllipse(QPointF(8.5, 9.8), 1.2, 3.2);
    return pm;
}

} // namespace

QIcon treeIcon(const QString &imageKey)
{
    return QIcon(imageKey == QLatin1String("folder") ? drawFolder() : drawLink());
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
