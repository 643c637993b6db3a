// Rasterises the program's icon into the PNG sizes of the desktop's hicolor icon
// theme. Usage: render_icons ICON.svg OUTPUT_FOLDER NAME SIZE...
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 5) {
        std::fputs("usage: render_icons ICON.svg OUTPUT_FOLDER NAME SIZE...\n", stderr);
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render_icons: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    const QString fileName = QString::fromLocal8Bit(argv[3]) + QStringLiteral(".png");
    for (int i = 4; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0)
            return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString dir = out + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(dir) || !image.save(dir + QLatin1Char('/') + fileName)) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
