#include "app/theme.hpp"

namespace tamrik {
namespace {

QFont sized(const QFont& body, qreal factor, QFont::Weight weight = QFont::Normal) {
  QFont font = body;
  qreal points = body.pointSizeF() > 0 ? body.pointSizeF() : 10.0;
  font.setPointSizeF(points * factor);
  font.setWeight(weight);
  return font;
}

QColor blend(const QColor& a, const QColor& b, qreal share) {
  return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                          static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                          static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

}  // namespace

QColor secondaryTextColor(const QPalette& palette) {
  return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.45);
}

QColor selectionGrey(const QPalette& palette) {
  return blend(palette.color(QPalette::Base), palette.color(QPalette::Text), 0.16);
}

QColor badgeGreen() {
  return QColor(52, 199, 89);
}

QColor badgeOrange() {
  return QColor(255, 149, 0);
}

QFont headlineFont(const QFont& body) {
  return sized(body, 1.1, QFont::DemiBold);
}
QFont sectionHeaderFont(const QFont& body) {
  return sized(body, 0.9, QFont::DemiBold);
}
QFont captionFont(const QFont& body) {
  return sized(body, 0.85);
}
QFont smallestCaptionFont(const QFont& body) {
  return sized(body, 0.75);
}
QFont secondTitleFont(const QFont& body) {
  return sized(body, 1.6, QFont::DemiBold);
}
QFont largeTitleFont(const QFont& body) {
  return sized(body, 2.6);
}

}  // namespace tamrik
