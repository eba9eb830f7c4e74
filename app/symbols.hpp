#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace tamrik {

/// A symbol image of the application's resources ("display", "square", "number.square",
/// "square.grid.2x2") drawn in `color`, fitted into `size` device-independent pixels. An unknown name
/// gives an empty pixmap.
QPixmap symbolPixmap(const QString& name, const QColor& color, QSize size, qreal devicePixelRatio = 1.0);

/// The same symbol as an icon, in `color`, at the usual small icon sizes.
QIcon symbolIcon(const QString& name, const QColor& color);

}  // namespace tamrik
