#include "pictures.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

QByteArray pictureSource(const QString &name)
{
    QFile file(QStringLiteral(":/pictures/%1.svg").arg(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QPixmap picturePixmap(const QString &name, const QSize &size, qreal devicePixelRatio)
{
    QSvgRenderer renderer(pictureSource(name));
    if (!renderer.isValid() || size.isEmpty())
        return QPixmap();
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon pictureIcon(const QString &name, const QSize &size)
{
    QIcon icon;
    for (qreal ratio : {1.0, 2.0})
        icon.addPixmap(picturePixmap(name, size, ratio));
    return icon;
}
