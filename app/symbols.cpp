#include "app/symbols.hpp"

#include <QPainter>
#include <QSvgRenderer>

namespace tamrik {

QPixmap symbolPixmap(const QString& name, const QColor& color, QSize size, qreal devicePixelRatio) {
  QSvgRenderer renderer(QStringLiteral(":/symbols/%1.svg").arg(name));
  if (!renderer.isValid() || size.isEmpty()) return {};
  QPixmap pixmap(size * devicePixelRatio);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  // Fit the drawing into the size, keeping its proportions and centring it.
  QSizeF drawn = QSizeF(renderer.defaultSize()).scaled(QSizeF(size), Qt::KeepAspectRatio);
  QRectF target(QPointF((size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2), drawn);
  renderer.render(&painter, target);
  // The drawings are black strokes; the colour replaces them wherever they cover.
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), color);
  return pixmap;
}

QIcon symbolIcon(const QString& name, const QColor& color) {
  QIcon icon;
  for (int side : {16, 20, 24, 28, 32, 48})
    for (qreal ratio : {1.0, 2.0}) icon.addPixmap(symbolPixmap(name, color, QSize(side, side), ratio));
  return icon;
}

}  // namespace tamrik
