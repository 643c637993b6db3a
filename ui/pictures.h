#pragma once

#include <QIcon>
#include <QPixmap>

// The windows' pictures are SVG files in the ui library's resources, named by
// their path under ui/pictures/ without ".svg": "tree/folder", "remote/close".

// The picture's SVG text; empty when there is no such picture.
QByteArray pictureSource(const QString &name);

// The picture drawn at `size` device-independent pixels, sharp at the given
// device pixel ratio. Null when the picture is missing or broken.
QPixmap picturePixmap(const QString &name, const QSize &size, qreal devicePixelRatio = 1.0);

// The picture as an icon of one size, sharp on ordinary and double-density screens.
QIcon pictureIcon(const QString &name, const QSize &size);
