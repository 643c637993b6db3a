#pragma once

#include <QGuiApplication>
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
