#include "buttonpictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace {

const QColor kInk(0x2f, 0x3a, 0x46);
const QColor kBlue(0x1c, 0x6e, 0xc9);
const QColor kGold(0xf2, 0xb7, 0x22);
const QColor kGreen(0x2e, 0x9a, 0x3e);

QPainterPath star(QPointF centre, double outer, double inner)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double r = (i % 2) ? inner : outer;
        const double a = -M_PI / 2 + i * M_PI / 5;
        const QPointF pt(centre.x() + r * std::cos(a), centre.y() + r * std::sin(a));
        i ? path.lineTo(pt) : path.moveTo(pt);
    }
    path.closeSubpath();
    return path;
}

void plus(QPainter &p, QPointF c, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 5.2, 5.2);
    p.setBrush(color);
    p.drawEllipse(c, 4.4, 4.4);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - 2.4, c.y()), QPointF(c.x() + 2.4, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 2.4), QPointF(c.x(), c.y() + 2.4));
}

void paint(QPainter &p, const QString &name)
{
    p.setRenderHint(QPainter::Antialiasing);
    if (name == QLatin1String("update")) {
        // A list sheet with a download arrow.
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(3.5, 2.5, 13, 17), 1.5, 1.5);
        p.setPen(QPen(kInk, 1.2));
        for (double y : {6.5, 9.5, 12.5})
            p.drawLine(QPointF(6, y), QPointF(14, y));
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        QPainterPath arrow;
        arrow.moveTo(15, 10);
        arrow.lineTo(19, 10);
        arrow.lineTo(19, 15);
        arrow.lineTo(22, 15);
        arrow.lineTo(17, 21.5);
        arrow.lineTo(12, 15);
        arrow.lineTo(15, 15);
        arrow.closeSubpath();
        p.drawPath(arrow);
    } else if (name == QLatin1String("home")) {
        QPainterPath house;
        house.moveTo(12, 3);
        house.lineTo(21.5, 11.5);
        house.lineTo(19, 11.5);
        house.lineTo(19, 20.5);
        house.lineTo(5, 20.5);
        house.lineTo(5, 11.5);
        house.lineTo(2.5, 11.5);
        house.closeSubpath();
        p.setPen(QPen(QColor(0x7a, 0x2e, 0x10), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(0xe0, 0x6a, 0x2c));
        p.drawPath(house);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(10, 14, 4, 6.5));
    } else if (name == QLatin1String("find")) {
        p.setPen(QPen(kInk, 2.2));
        p.setBrush(QColor(0xd8, 0xea, 0xfb));
        p.drawEllipse(QPointF(10, 10), 6, 6);
        p.setPen(QPen(kInk, 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14.5, 14.5), QPointF(20.5, 20.5));
    } else if (name == QLatin1String("addfav")) {
        p.setPen(QPen(QColor(0x9a, 0x6a, 0x00), 1.2));
        p.setBrush(kGold);
        p.drawPath(star(QPointF(10.5, 11), 9, 4));
        plus(p, QPointF(17.5, 17.5), kGreen);
    } else if (name == QLatin1String("options")) {
        // A gear.
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        const QPointF c(12, 12);
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(c);
            p.rotate(i * 45);
            p.drawRoundedRect(QRectF(-2, -10.5, 4, 5), 1, 1);
            p.restore();
        }
        p.drawEllipse(c, 7.5, 7.5);
        p.setBrush(Qt::white);
        p.drawEllipse(c, 3, 3);
    } else if (name == QLatin1String("configfav")) {
        // A star beside list lines.
        p.setPen(QPen(QColor(0x9a, 0x6a, 0x00), 1.0));
        p.setBrush(kGold);
        p.drawPath(star(QPointF(7, 7.5), 6, 2.7));
        p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, 6), QPointF(21, 6));
        p.drawLine(QPointF(4, 14), QPointF(21, 14));
        p.drawLine(QPointF(4, 19.5), QPointF(21, 19.5));
    } else if (name == QLatin1String("remote")) {
        // A small handset with a star button.
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(QColor(0x4a, 0x55, 0x62));
        p.drawRoundedRect(QRectF(6.5, 1.5, 11, 21), 3, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(kGold);
        p.drawPath(star(QPointF(12, 7), 3.6, 1.6));
        p.setBrush(QColor(0xd0, 0xd6, 0xdc));
        for (double y : {12.5, 16.5})
            for (double x : {9.5, 14.5})
                p.drawEllipse(QPointF(x, y), 1.4, 1.4);
        p.setBrush(kBlue);
        p.drawEllipse(QPointF(12, 20), 1.2, 1.2);
    }
}

} // namespace

QIcon buttonPicture(const QString &name)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.scale(size / 24.0, size / 24.0);
        paint(p, name);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
