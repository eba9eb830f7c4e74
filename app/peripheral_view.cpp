#include "app/peripheral_view.hpp"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "app/field_keys.hpp"
#include "app/item_activation.hpp"
#include "app/symbols.hpp"
#include "app/theme.hpp"

namespace tamrik {
namespace {

// A display row: its icon, product name over serial number, and the assignment badge at the trailing edge.
class PeripheralDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  static constexpr int kIconSide = 28, kSpacing = 12, kVerticalMargin = 4, kHorizontalMargin = 8;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    QFontMetrics body(option.font), caption(captionFont(option.font));
    int text = body.height() + caption.height();
    return {320, std::max(kIconSide, text) + 2 * kVerticalMargin};
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette& palette = option.palette;
    const bool selected = index.data(PeripheralListModel::SelectedRole).toBool();
    QRect row = option.rect;
    if (selected) {
      QPainterPath background;
      background.addRoundedRect(row.adjusted(2, 1, -2, -1), 6, 6);
      painter->fillPath(background, palette.highlight());
    }
    const QColor primary = selected ? palette.highlightedText().color() : palette.text().color();
    const QColor secondary = selected ? primary : secondaryTextColor(palette);

    QRect content = row.adjusted(kHorizontalMargin, kVerticalMargin, -kHorizontalMargin, -kVerticalMargin);
    QRect icon(content.left(), content.center().y() - kIconSide / 2 + 1, kIconSide, kIconSide);
    painter->drawPixmap(icon, symbolPixmap(index.data(PeripheralListModel::IconRole).toString(), secondary,
                                           icon.size(), painter->device()->devicePixelRatioF()));

    // The badge first, so the names know how much room is left.
    int textRight = content.right();
    QString badge = index.data(PeripheralListModel::BadgeTextRole).toString();
    if (!badge.isEmpty()) {
      QFont font = smallestCaptionFont(option.font);
      QFontMetrics metrics(font);
      // A place's name is the file's: a long one leaves the display's name half the row, and the count of
      // other places at its end.
      badge = metrics.elidedText(badge, Qt::ElideMiddle, content.width() / 2 - 12);
      QRect badgeRect(0, 0, metrics.horizontalAdvance(badge) + 12, metrics.height() + 4);
      badgeRect.moveCenter(QPoint(0, content.center().y()));
      badgeRect.moveRight(content.right());
      auto kind =
          static_cast<PeripheralAssignment::Badge>(index.data(PeripheralListModel::BadgeRole).toInt());
      const bool here = kind == PeripheralAssignment::Badge::assignedHere ||
                        kind == PeripheralAssignment::Badge::inFileHere;
      QColor fill = here ? badgeGreen() : badgeOrange();
      fill.setAlphaF(0.2f);
      QPainterPath shape;
      shape.addRoundedRect(badgeRect, 6, 6);
      painter->fillPath(shape, fill);
      painter->setFont(font);
      painter->setPen(primary);
      painter->drawText(badgeRect, Qt::AlignCenter, badge);
      textRight = badgeRect.left() - kSpacing;
    }

    QRect text(icon.right() + 1 + kSpacing, content.top(), textRight - icon.right() - kSpacing,
               content.height());
    QFontMetrics body(option.font);
    QFont captionFontValue = captionFont(option.font);
    QFontMetrics caption(captionFontValue);
    int top = text.center().y() - (body.height() + caption.height()) / 2;
    painter->setFont(option.font);
    painter->setPen(primary);
    painter->drawText(QRect(text.left(), top, text.width(), body.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      body.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
    painter->setFont(captionFontValue);
    painter->setPen(secondary);
    painter->drawText(QRect(text.left(), top + body.height(), text.width(), caption.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      caption.elidedText(index.data(PeripheralListModel::SerialNumberRole).toString(),
                                         Qt::ElideRight, text.width()));
    painter->restore();
  }
};

}  // namespace

PeripheralView::PeripheralView(std::shared_ptr<PeripheralManager> peripheralManager,
                               std::shared_ptr<PlaceDataModel> placeDataModel, QUndoStack* undoStack,
                               QWidget* parent)
    : QWidget(parent),
      assignment_(std::move(peripheralManager), std::move(placeDataModel), undoStack),
      model_(assignment_),
      title_(new QLabel),
      list_(new QListView),
      unlistedNote_(new QLabel),
      assignButton_(new QPushButton(tr("Assign"))),
      unassignButton_(new QPushButton(tr("Unassign"))),
      serialNumberField_(new QLineEdit),
      entryNote_(new QLabel) {
  setObjectName(QStringLiteral("PeripheralView"));
  setAttribute(Qt::WA_TranslucentBackground);  // the rounded background is painted here
  title_->setTextFormat(Qt::PlainText);        // it holds a place's name, which may look like markup
  title_->setAlignment(Qt::AlignCenter);
  title_->setWordWrap(true);
  title_->setContentsMargins(8, 10, 8, 6);
  title_->setFont(headlineFont(font()));

  auto* header = new QLabel(tr("Available Peripherals"));
  header->setObjectName(QStringLiteral("SectionHeader"));
  header->setFont(sectionHeaderFont(font()));
  header->setContentsMargins(10, 6, 10, 2);

  list_->setModel(&model_);
  list_->setItemDelegate(new PeripheralDelegate(list_));
  list_->setSelectionMode(QAbstractItemView::NoSelection);  // the selection is the set of serial numbers
  list_->setMinimumWidth(320);
  list_->setFrameShape(QFrame::NoFrame);
  list_->setUniformItemSizes(true);
  list_->viewport()->setAutoFillBackground(false);
  list_->setAttribute(Qt::WA_MacShowFocusRect, false);
  onItemActivated(list_, [this](const QModelIndex& index) {
    assignment_.toggle(index.data(PeripheralListModel::SerialNumberRole).toString());
  });

  unlistedNote_->setTextFormat(Qt::PlainText);
  unlistedNote_->setWordWrap(true);
  unlistedNote_->setAlignment(Qt::AlignCenter);
  unlistedNote_->setContentsMargins(10, 6, 10, 0);
  unlistedNote_->setFont(captionFont(font()));

  assignButton_->setDefault(true);
  assignButton_->setAutoDefault(false);
  connect(assignButton_, &QPushButton::clicked, this, [this] { assignment_.assign(); });
  unassignButton_->setAutoDefault(false);
  connect(unassignButton_, &QPushButton::clicked, this, [this] { assignment_.unassign(); });

  auto* buttonRow = new QHBoxLayout;
  buttonRow->setContentsMargins(12, 12, 12, 12);
  buttonRow->addStretch();
  buttonRow->addWidget(assignButton_);
  buttonRow->addWidget(unassignButton_);
  buttonRow->addStretch();

  // Displays that cannot be plugged in (boxed, or behind a port without EDID) have their serial number on a
  // label: typed, or scanned by a barcode scanner, which types it and presses Enter.
  auto* entryHeader = new QLabel(tr("Serial Number from a Label"));
  entryHeader->setObjectName(QStringLiteral("SectionHeader"));
  entryHeader->setFont(sectionHeaderFont(font()));
  entryHeader->setContentsMargins(10, 6, 10, 2);
  serialNumberField_->setObjectName(QStringLiteral("SerialNumberField"));
  serialNumberField_->setPlaceholderText(tr("Type or scan, then press Enter"));
  serialNumberField_->setClearButtonEnabled(true);
  serialNumberField_->setAcceptDrops(false);  // a file dropped here opens, as anywhere in the window
  clearOnEscape(serialNumberField_);          // a label scanned wrong goes at once
  connect(serialNumberField_, &QLineEdit::returnPressed, this, &PeripheralView::enterSerialNumber);
  connect(serialNumberField_, &QLineEdit::textEdited, entryNote_, &QLabel::hide);  // answered by typing
  entryNote_->setObjectName(QStringLiteral("EntryNote"));
  entryNote_->setTextFormat(Qt::PlainText);  // it quotes what was typed
  entryNote_->setWordWrap(true);
  entryNote_->setContentsMargins(10, 4, 10, 0);
  entryNote_->setFont(captionFont(font()));
  entryNote_->hide();
  auto* entry = new QVBoxLayout;
  entry->setContentsMargins(0, 0, 0, 12);
  entry->setSpacing(0);
  entry->addWidget(entryHeader);
  auto* fieldRow = new QHBoxLayout;
  fieldRow->setContentsMargins(10, 2, 10, 0);
  fieldRow->addWidget(serialNumberField_);
  entry->addLayout(fieldRow);
  entry->addWidget(entryNote_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(title_);
  layout->addWidget(header);
  layout->addWidget(list_, 1);
  layout->addWidget(unlistedNote_);
  layout->addLayout(buttonRow);
  layout->addLayout(entry);

  connect(&assignment_, &PeripheralAssignment::changed, this, &PeripheralView::refresh);
  refresh();
}

void PeripheralView::refresh() {
  title_->setText(assignment_.title());
  QPalette palette = title_->palette();
  palette.setColor(QPalette::WindowText, assignment_.placeDataModel()->selectedPlace()
                                             ? this->palette().windowText().color()
                                             : secondaryTextColor(this->palette()));
  title_->setPalette(palette);
  const QString note = assignment_.unlistedDisplaysNote();
  unlistedNote_->setText(note);
  unlistedNote_->setHidden(note.isEmpty());
  QPalette notePalette = unlistedNote_->palette();
  notePalette.setColor(QPalette::WindowText, secondaryTextColor(this->palette()));
  unlistedNote_->setPalette(notePalette);
  assignButton_->setEnabled(assignment_.canAssign());
  unassignButton_->setEnabled(assignment_.canUnassign());
}

void PeripheralView::enterSerialNumber() {
  const auto entry = assignment_.enterSerialNumber(serialNumberField_->text());
  // Ready for the next label; a text kept for a place not yet selected is entered again with Enter.
  if (entry.outcome != PeripheralAssignment::Entry::Outcome::noPlace) serialNumberField_->clear();
  const bool refused = entry.outcome != PeripheralAssignment::Entry::Outcome::assigned;
  entryNote_->setText(refused ? entry.message : QString());
  entryNote_->setVisible(refused);
}

void PeripheralView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(rect(), 8, 8);
  painter.fillPath(shape, palette().base());
}

void PeripheralView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) refresh();
  QWidget::changeEvent(event);
}

}  // namespace tamrik
