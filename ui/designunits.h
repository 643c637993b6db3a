#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSizeF>
#include <QWidget>

// Window sizes are designed in twips (1/1440 inch); the screen's real DPI turns
// them into pixels (15 twips a pixel at 96 DPI).
inline double twipsPerPixel(const QWidget *widget)
{
    const QScreen *s = widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

inline int fromTwips(double twips, const QWidget *widget)
{
    return qRound(twips / twipsPerPixel(widget));
}

inline QSize fromTwips(const QSizeF &twips, const QWidget *widget)
{
    const double tpp = twipsPerPixel(widget);
    return QSize(qRound(twips.width() / tpp), qRound(twips.height() / tpp));
}

inline QRect fromTwips(const QRectF &twips, const QWidget *widget)
{
    const double tpp = twipsPerPixel(widget);
    return QRect(qRound(twips.left() / tpp), qRound(twips.top() / tpp), qRound(twips.width() / tpp),
                 qRound(twips.height() / tpp));
}
