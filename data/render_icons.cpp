// Renders the program's icon as the PNG sizes and the SVG that the desktop's
// icon theme wants. Usage: render_icons OUTPUT_FOLDER
#include "platform/appicon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 32, 48, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
        paintAppIcon(painter);
        painter.end();
        const QString dir = out + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/kestrelmoor-modlist.png")))
            return 1;
    }
    QDir().mkpath(out + QStringLiteral("/scalable/apps"));
    QSvgGenerator svg;
    svg.setFileName(out + QStringLiteral("/scalable/apps/kestrelmoor-modlist.svg"));
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(QStringLiteral("Kestrelmoor Mod List"));
    QPainter painter(&svg);
    painter.setRenderHint(QPainter::Antialiasing);
    paintAppIcon(painter);
    return painter.end() ? 0 : 1;
}
