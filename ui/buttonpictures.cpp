#include "buttonpictures.h"

#include "pictures.h"
#include "platform/colorscheme.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QRegularExpression>
#include <QSvgRenderer>

namespace {

// The lines drawn straight on the button: dark slate on a light desktop, the
// desktop's own text colour on a dark one, where slate would vanish. Lines
// inside the pictures' white sheets stay slate whatever the desktop.
QColor inkFor(const QPalette &palette)
{
    return isDarkPalette(palette) ? palette.color(QPalette::Active, QPalette::WindowText) : QColor(0x2f, 0x3a, 0x46);
}

// The pictures (ui/pictures/buttons/) draw their ink in currentColor, which the
// root element's `color` sets; that colour is replaced by the desktop's ink.
QByteArray withInk(QByteArray svg, const QColor &ink)
{
    static const QRegularExpression rootColour(QStringLiteral("(<svg\\b[^>]*\\scolor=\")[^\"]*\""));
    QString text = QString::fromUtf8(svg);
    text.replace(rootColour, QStringLiteral("\\1%1\"").arg(ink.name()));
    return text.toUtf8();
}

// Draws the picture when it is shown, so that it takes the desktop's colours of
// that moment, also after the user switches between a light and a dark scheme.
class PictureEngine final : public QIconEngine
{
public:
    explicit PictureEngine(const QString &name) : m_name(name) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const QColor ink = inkFor(QGuiApplication::palette());
        if (ink != m_ink) {
            m_renderer.load(withInk(pictureSource(QStringLiteral("buttons/") + m_name), ink));
            m_ink = ink;
        }
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        m_renderer.render(painter, rect);
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
    QSvgRenderer m_renderer;
    QColor m_ink; // the ink m_renderer draws with; invalid before the first painting
};

} // namespace

QIcon buttonPicture(const QString &name)
{
    return QIcon(new PictureEngine(name));
}
