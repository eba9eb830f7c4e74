#include "app/walk_banner.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/location_view.hpp"
#include "app/symbols.hpp"
#include "app/theme.hpp"

namespace tamrik {
namespace {

QToolButton* buttonFor(QAction* action) {
  auto* button = new QToolButton;
  button->setDefaultAction(action);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  button->setFocusPolicy(Qt::TabFocus);  // a click leaves the focus where Space moves on
  return button;
}

QLabel* plainLabel(const QFont& font) {
  auto* label = new QLabel;
  label->setTextFormat(Qt::PlainText);  // names are the file's
  label->setWordWrap(true);
  label->setFont(font);
  return label;
}

}  // namespace

WalkBanner::WalkBanner(ZoneWalk& walk, LocationView& view, QWidget* parent)
    : QFrame(parent), walk_(walk), view_(view) {
  setObjectName(QStringLiteral("WalkBanner"));
  setFocusPolicy(Qt::StrongFocus);  // where Walk Zone puts the focus: Space and Escape work there

  walkZone_ = new QAction(tr("Walk Zone"), this);
  walkZone_->setShortcut(QKeySequence(Qt::Key_F6));
  walkZone_->setToolTip(
      tr("Walk Zone (F6): plug in at each place without a display to assign, unplug to move on"));
  walkZone_->setStatusTip(
      tr("Selects the zone's places without a display one by one: plug in to assign, "
         "unplug to move on"));
  connect(walkZone_, &QAction::triggered, this, [this] {
    if (const auto& zone = view_.selectedZonePath(); zone && walk_.start(*zone))
      setFocus(Qt::ShortcutFocusReason);
  });
  nextPlace_ = new QAction(tr("Next Place"), this);
  nextPlace_->setToolTip(tr("Next Place (Space)"));
  connect(nextPlace_, &QAction::triggered, &walk_, &ZoneWalk::nextPlace);
  // The menu names them in full; the banner's buttons, beside the place's name, say "Skip" and "Stop".
  skipPlace_ = new QAction(tr("Skip Place"), this);
  skipPlace_->setIconText(tr("Skip"));
  skipPlace_->setToolTip(tr("Skip this place for the rest of the walk"));
  connect(skipPlace_, &QAction::triggered, &walk_, &ZoneWalk::skipPlace);
  stopWalking_ = new QAction(tr("Stop Walking"), this);
  stopWalking_->setIconText(tr("Stop"));
  stopWalking_->setToolTip(tr("Stop Walking (Escape)"));
  connect(stopWalking_, &QAction::triggered, &walk_, &ZoneWalk::stop);

  headline_ = plainLabel(headlineFont(font()));
  headline_->setObjectName(QStringLiteral("WalkHeadline"));
  instruction_ = plainLabel(secondTitleFont(font()));
  instruction_->setObjectName(QStringLiteral("WalkInstruction"));
  progress_ = plainLabel(font());
  progress_->setObjectName(QStringLiteral("WalkProgress"));

  moveOn_ = new QCheckBox(tr("Move on when the displays are unplugged"));
  moveOn_->setToolTip(tr("Off: Next Place (Space) moves on"));
  entered_ = new QCheckBox(tr("Entered serial numbers count as plugged in"));
  entered_->setToolTip(
      tr("A serial number entered from a label moves on as a display plugged in and "
         "unplugged would"));
  for (QCheckBox* option : {moveOn_, entered_}) option->setFocusPolicy(Qt::TabFocus);
  connect(moveOn_, &QCheckBox::toggled, &walk_, &ZoneWalk::setMoveOnWhenUnplugged);
  connect(entered_, &QCheckBox::toggled, &walk_, &ZoneWalk::setEnteredCountsAsPluggedIn);

  auto* closeAction = new QAction(tr("Close"), this);
  connect(closeAction, &QAction::triggered, &walk_, &ZoneWalk::stop);
  close_ = buttonFor(closeAction);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  texts->addWidget(headline_);
  texts->addWidget(instruction_);
  texts->addWidget(progress_);

  buttons_ = new QWidget;
  auto* buttonRow = new QHBoxLayout(buttons_);
  buttonRow->setContentsMargins(0, 0, 0, 0);
  for (QAction* action : {nextPlace_, skipPlace_, stopWalking_}) buttonRow->addWidget(buttonFor(action));
  auto* controls = new QVBoxLayout;
  controls->setSpacing(4);
  controls->addWidget(buttons_, 0, Qt::AlignRight);
  controls->addWidget(close_, 0, Qt::AlignRight);
  controls->addWidget(moveOn_);
  controls->addWidget(entered_);
  controls->addStretch();

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(16, 10, 16, 10);
  row->setSpacing(24);
  row->addLayout(texts, 1);
  row->addLayout(controls);

  connect(&walk_, &ZoneWalk::changed, this, &WalkBanner::refresh);
  connect(&walk_, &ZoneWalk::currentPlaceChanged, this, [this] {
    // A copy: revealing may clear a search, whose signals could reach the walk.
    if (auto zone = walk_.zonePath(); zone && walk_.currentPlace())
      view_.revealPlace(*zone, walk_.currentPosition());
  });
  connect(&view_, &LocationView::serialNumberEntered, &walk_, &ZoneWalk::noteEntered);
  connect(&view_, &LocationView::zoneSummaryChanged, this, &WalkBanner::updateWalkZone);
  restyle();
  refresh();
  updateWalkZone();
}

void WalkBanner::restyle() {
  walkZone_->setIcon(symbolIcon(QStringLiteral("figure.walk"), palette().color(QPalette::WindowText)));
  QPalette progressPalette = progress_->palette();
  progressPalette.setColor(QPalette::WindowText, secondaryTextColor(palette()));
  progress_->setPalette(progressPalette);
}

void WalkBanner::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) restyle();
  QFrame::changeEvent(event);
}

void WalkBanner::install(QMainWindow& window) {
  QMenu* places = window.menuBar()->addMenu(tr("&Places"));
  places->addAction(walkZone_);
  places->addSeparator();
  places->addAction(nextPlace_);
  places->addAction(skipPlace_);
  places->addAction(stopWalking_);
  auto* toolBar = window.addToolBar(tr("Walk"));
  toolBar->setObjectName(QStringLiteral("WalkToolBar"));
  toolBar->setMovable(false);
  toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toolBar->addAction(walkZone_);
  window.addAction(walkZone_);  // F6 wherever the focus is
  // Keys reach the window when the focused widget did not take them.
  window.installEventFilter(this);
}

bool WalkBanner::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || walk_.state() == ZoneWalk::State::idle)
    return QFrame::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->modifiers() != Qt::NoModifier && key->modifiers() != Qt::KeypadModifier) return false;
  if (key->key() == Qt::Key_Space && walk_.isWalking()) {
    if (!key->isAutoRepeat()) nextPlace_->trigger();  // a held key moves on once
    return true;
  }
  // A text field keeps Escape for itself, even when it has nothing to clear.
  if (key->key() == Qt::Key_Escape && !qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
    walk_.stop();
    return true;
  }
  return false;
}

void WalkBanner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QColor fill = palette().color(QPalette::Highlight);
  QColor edge = fill;
  fill.setAlphaF(0.14f);
  edge.setAlphaF(0.55f);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(6.5, 4.5, -6.5, -2.5), 8, 8);
  painter.fillPath(shape, fill);
  painter.setPen(QPen(edge, hasFocus() ? 2.0 : 1.0));
  painter.drawPath(shape);
}

void WalkBanner::refresh() {
  const auto state = walk_.state();
  setVisible(state != ZoneWalk::State::idle);
  headline_->setText(walk_.headline());
  instruction_->setText(walk_.instruction());
  progress_->setText(walk_.progress());
  const bool walking = state == ZoneWalk::State::walking;
  buttons_->setVisible(walking);
  moveOn_->setVisible(walking);
  entered_->setVisible(walking);
  close_->setVisible(state == ZoneWalk::State::finished);
  for (QAction* action : {nextPlace_, skipPlace_, stopWalking_}) action->setEnabled(walking);
  updateWalkZone();  // held while a file opens
  // The options as the walk has them: set here, they tell it again, which changes nothing.
  const QSignalBlocker moveOnQuiet(moveOn_), enteredQuiet(entered_);
  moveOn_->setChecked(walk_.moveOnWhenUnplugged());
  entered_->setChecked(walk_.enteredCountsAsPluggedIn());
}

void WalkBanner::updateWalkZone() {
  const auto& zone = view_.selectedZonePath();
  walkZone_->setEnabled(!walk_.isHeld() && zone && view_.selectedZone() &&
                        !view_.selectedZone()->places.empty());
}

}  // namespace tamrik
