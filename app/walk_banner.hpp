#pragma once

#include <QFrame>

#include "app/zone_walk.hpp"

class QAction;
class QCheckBox;
class QLabel;
class QMainWindow;
class QToolButton;

namespace tamrik {

class LocationView;

/// The banner at the top of the window while a zone is walked ("WalkBanner"): where the technician is (the
/// zone and the place), what to do, how many places are left, the Next Place, Skip and Stop buttons and the
/// walk's two options; once the walk has ended, how the zone stands and Close. Hidden while no zone is
/// walked.
///
/// It makes walking's commands, once, for the Places menu, the Walk toolbar and the keys: Walk Zone (F6)
/// walks the zone whose places the view shows, and is off while the walk is held; Next Place (Space) and Stop
/// Walking (Escape) answer their keys only where the focused widget has no use for them (a text field keeps
/// both, a list or a button its Space), and Walk Zone gives the banner the focus, where both work.
class WalkBanner : public QFrame {
  Q_OBJECT
 public:
  /// A banner for `walk`, which walks the zones that `view` shows and keeps the walk's place in view there.
  WalkBanner(ZoneWalk& walk, LocationView& view, QWidget* parent = nullptr);

  /// Adds the Places menu (after the menus `window` has) and the Walk toolbar to `window`, and listens there
  /// for Space and Escape.
  void install(QMainWindow& window);

  QAction* walkZoneAction() const noexcept { return walkZone_; }
  QAction* nextPlaceAction() const noexcept { return nextPlace_; }
  QAction* skipPlaceAction() const noexcept { return skipPlace_; }
  QAction* stopWalkingAction() const noexcept { return stopWalking_; }
  QLabel* headline() const noexcept { return headline_; }
  QLabel* instruction() const noexcept { return instruction_; }
  QLabel* progress() const noexcept { return progress_; }
  /// "Move on when the displays are unplugged" and "Entered serial numbers count as plugged in".
  QCheckBox* moveOnOption() const noexcept { return moveOn_; }
  QCheckBox* enteredOption() const noexcept { return entered_; }
  /// Shown once the walk has ended: hides the banner.
  QToolButton* closeButton() const noexcept { return close_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void refresh();
  void restyle();  // the colours a theme gives
  void updateWalkZone();

  ZoneWalk& walk_;
  LocationView& view_;
  QAction* walkZone_;
  QAction* nextPlace_;
  QAction* skipPlace_;
  QAction* stopWalking_;
  QLabel* headline_;
  QLabel* instruction_;
  QLabel* progress_;
  QCheckBox* moveOn_;
  QCheckBox* entered_;
  QWidget* buttons_;
  QToolButton* close_;
};

}  // namespace tamrik
