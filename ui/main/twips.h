#pragma once

#include <QGuiApplication>
#include <QHash>
#include <QRectF>
#include <QScreen>
#include <QWidget>

// Window geometry is designed in twips (1/1440 inch); the screen's real DPI
// turns it into pixels (15 twips a pixel at 96 DPI).
inline double twipsPerPixel(const QWidget *widget)
{
    const QScreen *s = widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

// Places each named control at its rectangle given in twips.
inline void placeControls(const QHash<QString, QRectF> &twipsRects, const QHash<QString, QWidget *> &controls,
                          double tpp)
{
    for (auto it = twipsRects.cbegin(); it != twipsRects.cend(); ++it) {
        if (QWidget *w = controls.value(it.key())) {
            const QRectF &r = *it;
            w->setGeometry(qRound(r.left() / tpp), qRound(r.top() / tpp), qRound(r.width() / tpp),
                           qRound(r.height() / tpp));
        }
    }
}
