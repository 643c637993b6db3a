#include "appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap drawIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    paintAppIcon(p);
    return pm;
}

} // namespace

// A rust-red shield with a bright "K".
void paintAppIcon(QPainter &p)
{
    QPainterPath shield;
    shield.moveTo(16, 1.5);
    shield.lineTo(29, 6);
    shield.cubicTo(29, 19, 23, 26, 16, 30.5);
    shield.cubicTo(9, 26, 3, 19, 3, 6);
    shield.closeSubpath();
    QLinearGradient fill(0, 0, 0, 32);
    fill.setColorAt(0, QColor(0xb8, 0x4a, 0x1c));
    fill.setColorAt(1, QColor(0x6e, 0x22, 0x0c));
    p.setPen(QPen(QColor(0x3a, 0x12, 0x06), 1.5));
    p.setBrush(fill);
    p.drawPath(shield);

    QPen stroke(QColor(0xff, 0xd2, 0x6a), 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(stroke);
    p.drawLine(QPointF(11.5, 8), QPointF(11.5, 23));
    p.drawLine(QPointF(21, 8.5), QPointF(12.5, 16));
    p.drawLine(QPointF(14, 15), QPointF(21.5, 23));
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(drawIcon(size));
    return icon;
}
