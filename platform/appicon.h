#pragma once

#include <QIcon>

class QPainter;

// The program's icon, for its windows and the notification area.
QIcon appIcon();

// Paints the icon into a 32 x 32 square; scale the painter for other sizes.
// The installed PNG and SVG icons are drawn by this same routine.
void paintAppIcon(QPainter &painter);
