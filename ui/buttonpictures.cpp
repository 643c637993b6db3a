#include "buttonpictures.h"

#include "platform/colorscheme.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
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

// The lines drawn straight on the button: dark slate on a light desktop, the
// desktop's own text colour on a dark one, where slate would vanish.
QColor inkFor(const QPalette &palette)
{
    return isDarkPalette(palette) ? palette.color(QPalette::Active, QPalette::WindowText) : kInk;
}

// Draws in a 24 x 24 square. Lines inside the white sheet stay slate whatever the desktop.
void paint(QPainter &p, const QString &name, const QColor &ink)
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
        p.setPen(QPen(ink, 2.2));
        p.setBrush(QColor(0xd8, 0xea, 0xfb));
        p.drawEllipse(QPointF(10, 10), 6, 6);
        p.setPen(QPen(ink, 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14.5, 14.5), QPointF(20.5, 20.5));
    } else if (name == QLatin1String("addfav")) {
        p.setPen(QPen(QColor(0x9a, 0x6a, 0x00), 1.2));
        p.setBrush(kGold);
        p.drawPath(star(QPointF(10.5, 11), 9, 4));
        plus(p, QPointF(17.5, 17.5), kGreen);
    } else if (name == QLatin1String("options")) {
        // A gear.
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
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
        p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, 6), QPointF(21, 6));
        p.drawLine(QPointF(4, 14), QPointF(21, 14));
        p.drawLine(QPointF(4, 19.5), QPointF(21, 19.5));
    } else if (name == QLatin1String("remote")) {
        // A small handset with a star button.
        p.setPen(QPen(ink, 1.2));
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

// Draws the picture when it is shown, so that it takes the desktop's colours of
// that moment, also after the user switches between a light and a dark scheme.
class PictureEngine final : public QIconEngine
{
public:
    explicit PictureEngine(const QString &name) : m_name(name) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 24.0, rect.height() / 24.0);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        ::paint(*painter, m_name, inkFor(QGuiApplication::palette()));
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48)};
    }

    QIconEngine *clone() const override { return new PictureEngine(m_name); }
    QString key() const override { return QStringLiteral("kml-picture"); }

private:
    QString m_name;
};

} // namespace

QIcon buttonPicture(const QString &name)
{
    return QIcon(new PictureEngine(name));
}
