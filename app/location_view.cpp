#include "app/location_view.hpp"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QSplitter>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <functional>

#include "app/field_keys.hpp"
#include "app/item_activation.hpp"
#include "app/peripheral_view.hpp"
#include "app/symbols.hpp"
#include "app/theme.hpp"

namespace tamrik {
namespace {

// A widget filled with a palette role inside a rounded rectangle of radius 16.
class RoundedPanel : public QWidget {
 public:
  RoundedPanel(QPalette::ColorRole fill, QWidget* parent = nullptr) : QWidget(parent), fill_(fill) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 16, 16);
    painter.fillPath(shape, palette().brush(fill_));
  }

 private:
  QPalette::ColorRole fill_;
};

// The secondary-coloured symbol and text shown while no zone is picked.
class ZonePlaceholder : public QWidget {
 public:
  explicit ZonePlaceholder(QWidget* parent = nullptr) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    symbol_ = new QLabel;
    symbol_->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol_);
    text_ = new QLabel(tr("Select a zone to see places"));
    text_->setAlignment(Qt::AlignCenter);
    text_->setWordWrap(true);
    layout->addWidget(text_);
    layout->addStretch();
    restyle();
  }

 protected:
  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) restyle();
    QWidget::changeEvent(event);
  }

 private:
  void restyle() {
    QColor secondary = secondaryTextColor(palette());
    int side = QFontMetrics(largeTitleFont(font())).height();
    symbol_->setPixmap(
        symbolPixmap(QStringLiteral("square.grid.2x2"), secondary, QSize(side, side), devicePixelRatioF()));
    QPalette textPalette = text_->palette();
    textPalette.setColor(QPalette::WindowText, secondary);
    text_->setPalette(textPalette);
  }

  QLabel* symbol_;
  QLabel* text_;
};

// The search field's keys: the window's Ctrl+E (export), Undo and Redo (of assignments) win over the line
// edit's own uses of them; and focus prepares the search, before the first keystroke.
class SearchFieldKeys final : public QObject {
 public:
  SearchFieldKeys(QLineEdit* field, std::function<void()> prepare)
      : QObject(field), prepare_(std::move(prepare)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) {
      prepare_();
      return false;
    }
    if (event->type() == QEvent::ShortcutOverride) {
      auto* key = static_cast<QKeyEvent*>(event);
      return (key->key() == Qt::Key_E && key->modifiers() == Qt::ControlModifier) ||
             key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo);  // not overridden here
    }
    return false;
  }

 private:
  std::function<void()> prepare_;
};

// A place row: its symbol, its name, and under the name the serial numbers it holds, smaller and in the
// secondary colour. Every row has room for both lines, so that rows keep one height as displays come and go.
class PlaceDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  static constexpr int kVerticalMargin = 3;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const int lines = QFontMetrics(option.font).height() + QFontMetrics(captionFont(option.font)).height();
    size.setHeight(std::max(size.height(), lines + 2 * kVerticalMargin));
    return size;
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString name = item.text;
    item.text.clear();  // drawn below, over the serial numbers
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);  // background and symbol
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);

    const QString serials = index.data(PlacesModel::SerialNumbersRole).toString();
    const QFont captionFontValue = captionFont(item.font);
    const QFontMetrics body(item.font), caption(captionFontValue);
    const int height = body.height() + (serials.isEmpty() ? 0 : caption.height());
    const int top = text.top() + (text.height() - height) / 2;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(QPalette::Text));
    painter->drawText(QRect(text.left(), top, text.width(), body.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      body.elidedText(name, Qt::ElideRight, text.width()));
    if (!serials.isEmpty()) {
      painter->setFont(captionFontValue);
      painter->setPen(secondaryTextColor(item.palette));
      painter->drawText(QRect(text.left(), top + body.height(), text.width(), caption.height()),
                        Qt::AlignLeft | Qt::AlignVCenter,
                        caption.elidedText(serials, Qt::ElideRight, text.width()));
    }
    painter->restore();
  }
};

// A sidebar row: the name, and at the trailing edge how many of the group's places have a display, smaller
// and in the secondary colour. The name is elided before the count is.
class GroupCountDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  static constexpr int kSpacing = 8, kTrailingMargin = 4;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString count = index.data(LocationTreeModel::PlaceCountRole).toString();
    size.rwidth() +=
        kSpacing + kTrailingMargin + QFontMetrics(captionFont(option.font)).horizontalAdvance(count);
    return size;
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QString count = index.data(LocationTreeModel::PlaceCountRole).toString();
    const QFont countFont = captionFont(option.font);
    const int countWidth = QFontMetrics(countFont).horizontalAdvance(count);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The row's background across the whole row, then the name in what the count leaves of it.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, widget);
    const QRect countRect(option.rect.right() - kTrailingMargin - countWidth + 1, option.rect.top(),
                          countWidth, option.rect.height());
    item.rect.setRight(countRect.left() - kSpacing);
    item.state &= ~QStyle::State_MouseOver;  // its background is drawn already
    item.backgroundBrush = {};
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    painter->save();
    painter->setFont(countFont);
    painter->setPen(secondaryTextColor(option.palette));
    painter->drawText(countRect, Qt::AlignRight | Qt::AlignVCenter, count);
    painter->restore();
  }
};

QWidget* slot() {
  auto* widget = new QWidget;
  auto* layout = new QVBoxLayout(widget);
  layout->setContentsMargins(0, 0, 0, 0);
  return widget;
}

}  // namespace

LocationView::LocationView(std::shared_ptr<PlaceDataModel> placeDataModel,
                           std::shared_ptr<PeripheralManager> peripheralManager, QUndoStack* undoStack,
                           std::shared_ptr<PlaceCounts> counts, QWidget* parent)
    : QWidget(parent),
      placeDataModel_(std::move(placeDataModel)),
      peripheralManager_(std::move(peripheralManager)),
      undoStack_(undoStack),
      counts_(counts ? std::move(counts) : std::make_shared<PlaceCounts>(placeDataModel_)),
      tree_(placeDataModel_, counts_),
      places_(placeDataModel_) {
  setObjectName(QStringLiteral("LocationView"));
  pages_ = new QStackedLayout(this);
  pages_->addWidget(emptyState_ = makeEmptyState());
  pages_->addWidget(browser_ = static_cast<QSplitter*>(makeBrowser()));
  connect(placeDataModel_.get(), &PlaceDataModel::locationsChanged, this, &LocationView::locationsChanged);
  connect(counts_.get(), &PlaceCounts::zoneCountChanged, this,
          [this](std::size_t location, std::size_t level, std::size_t zone) {
            if (!selectedZonePath_) return;
            auto at = findZonePosition(placeDataModel_->locations(), *selectedZonePath_);
            if (at && *at == std::array{location, level, zone}) emit zoneSummaryChanged(zoneSummary());
          });
  updateLayout();
}

QWidget* LocationView::makeEmptyState() {
  auto* page = new RoundedPanel(QPalette::Button);
  auto* row = new QHBoxLayout(page);
  row->setContentsMargins(16, 16, 16, 16);
  row->setSpacing(16);

  auto* card = new RoundedPanel(QPalette::Window);
  card->setObjectName(QStringLiteral("EmptyStateCard"));
  auto* shadow = new QGraphicsDropShadowEffect(card);
  shadow->setColor(QColor(0, 0, 0, qRound(255 * 0.08)));
  shadow->setBlurRadius(8);
  shadow->setOffset(0, 2);
  card->setGraphicsEffect(shadow);
  auto* stack = new QVBoxLayout(card);
  stack->setContentsMargins(32, 32, 32, 32);
  stack->setSpacing(12);
  stack->addStretch();
  auto* heading = new QLabel(tr("No locations loaded."));
  heading->setFont(secondTitleFont(font()));
  heading->setAlignment(Qt::AlignCenter);
  heading->setContentsMargins(0, 0, 0, 4);
  stack->addWidget(heading);
  auto* hint = new QLabel(tr("Please open a CSV file from the File menu to load locations."));
  hint->setAlignment(Qt::AlignCenter);
  hint->setWordWrap(true);
  QPalette hintPalette = hint->palette();
  hintPalette.setColor(QPalette::WindowText, secondaryTextColor(hint->palette()));
  hint->setPalette(hintPalette);
  stack->addWidget(hint);
  emptyActionsSlot_ = slot();
  stack->addWidget(emptyActionsSlot_);
  stack->addStretch();
  row->addWidget(card, 1);

  emptyPanelSlot_ = slot();
  row->addWidget(emptyPanelSlot_);
  return page;
}

QWidget* LocationView::makeBrowser() {
  auto* split = new QSplitter(Qt::Horizontal);
  split->setMinimumSize(900, 500);
  split->setChildrenCollapsible(false);

  auto* sidebarColumn = new QWidget;
  auto* sidebarLayout = new QVBoxLayout(sidebarColumn);
  sidebarLayout->setContentsMargins(0, 0, 0, 0);
  sidebarLayout->setSpacing(6);
  searchField_ = new QLineEdit;
  searchField_->setObjectName(QStringLiteral("SearchField"));
  searchField_->setPlaceholderText(tr("Find a place"));
  searchField_->setClearButtonEnabled(true);
  // Keys that arrive together are searched for once, when the window has taken them all: a fast typist's
  // three keys cost one search, not three.
  connect(searchField_, &QLineEdit::textChanged, this, [this] {
    if (searchQueued_) return;
    searchQueued_ = true;
    QTimer::singleShot(0, this, [this] {
      searchQueued_ = false;
      setSearchText(searchField_->text());
    });
  });
  // Escape clears the field; Ctrl+F anywhere in the window comes back to it.
  clearOnEscape(searchField_);
  searchField_->installEventFilter(new SearchFieldKeys(searchField_, [this] {
    if (!search_) search_ = std::make_shared<PlaceSearch>(placeDataModel_->locations());
  }));
  searchField_->setAcceptDrops(false);  // a file dropped here opens, as anywhere in the window
  auto* find = new QAction(tr("Find a place"), this);
  find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  find->setShortcutContext(Qt::WindowShortcut);
  connect(find, &QAction::triggered, searchField_, [this] {
    searchField_->setFocus(Qt::ShortcutFocusReason);
    searchField_->selectAll();
  });
  addAction(find);
  sidebarLayout->addWidget(searchField_);

  sidebar_ = new QTreeView;
  sidebar_->setObjectName(QStringLiteral("Sidebar"));
  sidebar_->setModel(&tree_);
  sidebar_->setItemDelegate(new GroupCountDelegate(sidebar_));
  sidebar_->setHeaderHidden(true);
  sidebar_->setFrameShape(QFrame::NoFrame);
  sidebar_->setUniformRowHeights(true);
  sidebar_->setSelectionMode(QAbstractItemView::NoSelection);  // the zone clicked is not highlighted
  sidebar_->setExpandsOnDoubleClick(false);
  sidebar_->viewport()->setAutoFillBackground(false);
  sidebar_->setMinimumWidth(200);
  onItemActivated(sidebar_, [this](const QModelIndex& index) {
    if (auto path = tree_.zonePath(index))
      selectZone(*path);
    else
      sidebar_->setExpanded(index, !sidebar_->isExpanded(index));  // a group's whole row folds it
  });
  sidebarLayout->addWidget(sidebar_, 1);
  split->addWidget(sidebarColumn);

  placesColumn_ = new QStackedWidget;
  placesColumn_->addWidget(new ZonePlaceholder);
  placesList_ = new QListView;
  placesList_->setObjectName(QStringLiteral("Places"));
  placesList_->setModel(&places_);
  placesList_->setItemDelegate(new PlaceDelegate(placesList_));
  placesList_->setFrameShape(QFrame::NoFrame);
  placesList_->setUniformItemSizes(true);
  placesList_->setSelectionMode(QAbstractItemView::NoSelection);  // the highlight follows `selectedPlace`
  placesList_->viewport()->setAutoFillBackground(false);
  onItemActivated(placesList_, [this](const QModelIndex& index) {
    if (auto place = places_.place(index)) placeDataModel_->setSelectedPlace(std::move(place));
  });
  placesColumn_->addWidget(placesList_);
  placesColumn_->setMinimumWidth(240);
  auto* placesSide = new QWidget;
  auto* placesLayout = new QVBoxLayout(placesSide);
  placesLayout->setContentsMargins(0, 0, 0, 0);
  placesLayout->setSpacing(6);
  onlyWithoutDisplay_ = new QAction(tr("Only places without a display"), this);
  onlyWithoutDisplay_->setCheckable(true);
  connect(onlyWithoutDisplay_, &QAction::toggled, &places_, &PlacesModel::setOnlyPlacesWithoutDisplay);
  auto* onlyWithoutDisplayButton = new QToolButton;
  onlyWithoutDisplayButton->setObjectName(QStringLiteral("OnlyWithoutDisplay"));
  onlyWithoutDisplayButton->setDefaultAction(onlyWithoutDisplay_);
  onlyWithoutDisplayButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
  placesLayout->addWidget(onlyWithoutDisplayButton, 0, Qt::AlignLeft);
  placesLayout->addWidget(placesColumn_, 1);
  split->addWidget(placesSide);

  detailSlot_ = slot();
  split->addWidget(detailSlot_);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 2);
  split->setStretchFactor(2, 1);
  return split;
}

void LocationView::selectZone(const ZonePath& path) {
  const TamrikZone* zone = findZone(placeDataModel_->locations(), path);
  selectedZonePath_ = zone ? std::optional(path) : std::nullopt;
  places_.setZone(zone ? std::optional(*zone) : std::nullopt);
  applyPlacesFilter();
  placesColumn_->setCurrentIndex(zone ? 1 : 0);
  emit zoneSummaryChanged(zoneSummary());
}

void LocationView::revealPlace(const ZonePath& zone, std::size_t position) {
  if (selectedZonePath_ != zone) selectZone(zone);
  QModelIndex row = places_.indexOf(position);
  if (!row.isValid() && !searchText_.isEmpty()) {
    searchField_->clear();
    setSearchText({});
    row = places_.indexOf(position);
  }
  if (!row.isValid()) return;
  placesList_->scrollTo(row);
  // Current only: the row is already the selected place, and activating it again would pick it again.
  placesList_->selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
}

QString LocationView::zoneSummary() const {
  if (!selectedZonePath_) return {};
  auto at = findZonePosition(placeDataModel_->locations(), *selectedZonePath_);
  if (!at) return {};
  const auto [location, level, zone] = *at;
  const PlaceCount count = counts_->zone(location, level, zone);
  return tr("%1 of %2 places in Zone %3 have a display")
      .arg(QString::number(count.withDisplay), QString::number(count.total),
           QString::fromStdString(placeDataModel_->locations()[location].levels[level].zones[zone].name));
}

void LocationView::locationsChanged() {
  // The search and its result describe the previous hierarchy.
  search_ = placeDataModel_->takePreparedSearch();
  searchResult_.reset();
  // The places column never shows places that are no longer loaded.
  if (selectedZonePath_) selectZone(*selectedZonePath_);
  if (!searchText_.isEmpty()) applySearch();
  updateLayout();
}

void LocationView::setSearchText(const QString& text) {
  QString trimmed = text.trimmed();
  if (trimmed == searchText_) return;
  if (searchText_.isEmpty()) groupsBeforeSearch_ = expandedGroups();
  searchText_ = trimmed;
  applySearch();
  if (searchField_->text().trimmed() != trimmed) searchField_->setText(text);
}

void LocationView::applySearch() {
  if (searchText_.isEmpty()) {
    searchResult_.reset();
    tree_.setFilter(std::nullopt);
    expandGroups(groupsBeforeSearch_);
  } else {
    if (!search_) search_ = std::make_shared<PlaceSearch>(placeDataModel_->locations());
    searchResult_ = search_->find(searchText_.toStdString());
    tree_.setFilter(searchResult_);
    expandAllGroups();  // the groups that hold what was found open
  }
  applyPlacesFilter();
}

void LocationView::applyPlacesFilter() {
  // All of a zone's places show when it, or a group holding it, matched; else the matching ones, found in
  // the search's folded texts.
  std::function<bool(std::size_t)> shows;
  if (searchResult_ && selectedZonePath_) {
    if (auto at = findZonePosition(placeDataModel_->locations(), *selectedZonePath_)) {
      const std::size_t l = (*at)[0], v = (*at)[1], z = (*at)[2];  // captured below, so no binding
      if (searchResult_->zones[l][v][z] != allPlaces)
        shows = [this, l, v, z, folded = foldForSearch(searchText_.toStdString())](std::size_t place) {
          return search_->placeMatches(l, v, z, place, folded);
        };
    }
  }
  places_.setFilter(std::move(shows));
}

std::set<std::vector<std::string>> LocationView::expandedGroups() const {
  std::set<std::vector<std::string>> groups;
  for (int l = 0; l < tree_.rowCount(); ++l) {
    QModelIndex location = tree_.index(l, 0);
    if (!sidebar_->isExpanded(location)) continue;
    groups.insert(tree_.groupPath(location));
    for (int v = 0; v < tree_.rowCount(location); ++v) {
      QModelIndex level = tree_.index(v, 0, location);
      if (sidebar_->isExpanded(level)) groups.insert(tree_.groupPath(level));
    }
  }
  return groups;
}

void LocationView::expandAllGroups() {
  // Expanded one by one right after the model was reset, the view only notes each group and lays the whole
  // tree out once; its own expandAll lays it out group by group, which takes seconds for large files.
  for (int l = 0; l < tree_.rowCount(); ++l) {
    QModelIndex location = tree_.index(l, 0);
    sidebar_->expand(location);
    for (int v = 0; v < tree_.rowCount(location); ++v) sidebar_->expand(tree_.index(v, 0, location));
  }
}

// Called right after the model was reset, when nothing is expanded and the view lays out once.
void LocationView::expandGroups(const std::set<std::vector<std::string>>& groups) {
  for (int l = 0; l < tree_.rowCount(); ++l) {
    QModelIndex location = tree_.index(l, 0);
    if (!groups.contains(tree_.groupPath(location))) continue;
    sidebar_->expand(location);
    for (int v = 0; v < tree_.rowCount(location); ++v) {
      QModelIndex level = tree_.index(v, 0, location);
      if (groups.contains(tree_.groupPath(level))) sidebar_->expand(level);
    }
  }
}

bool LocationView::showsEmptyState() const {
  return pages_->currentWidget() == emptyState_;
}

void LocationView::setEmptyStateActions(QWidget* actions) {
  emptyActionsSlot_->layout()->addWidget(actions);
}

void LocationView::updateLayout() {
  const bool empty = placeDataModel_->locations().empty();
  QWidget* page = empty ? emptyState_ : static_cast<QWidget*>(browser_);
  if (peripheralView_ && pages_->currentWidget() == page) return;
  // Each layout has a panel of its own, so switching starts with an empty selection.
  delete peripheralView_;
  peripheralView_ = new PeripheralView(peripheralManager_, placeDataModel_, undoStack_);
  connect(&peripheralView_->assignment(), &PeripheralAssignment::serialNumberEntered, this,
          &LocationView::serialNumberEntered);
  (empty ? emptyPanelSlot_ : detailSlot_)->layout()->addWidget(peripheralView_);
  pages_->setCurrentWidget(page);
}

ContentView::ContentView(std::shared_ptr<PlaceDataModel> placeDataModel,
                         std::shared_ptr<PeripheralManager> peripheralManager, QUndoStack* undoStack,
                         std::shared_ptr<PlaceCounts> counts, QWidget* parent)
    : QWidget(parent),
      locationView_(new LocationView(std::move(placeDataModel), std::move(peripheralManager), undoStack,
                                     std::move(counts))) {
  auto* layout = new QVBoxLayout(this);  // the style's standard margin
  layout->addWidget(locationView_);
}

}  // namespace tamrik
