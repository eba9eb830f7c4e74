#pragma once

#include <QWidget>
#include <memory>

#include "app/peripheral_assignment.hpp"

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace tamrik {

/// The panel in which the user assigns attached displays to the selected place: a title, the list of
/// displays ("Available Peripherals") with their badges, a quiet note of the attached displays it leaves
/// out for want of a serial number (hidden when there are none), the "Assign" button, and a field that takes
/// a serial number from a label, typed or scanned, and assigns it to the selected place on Enter. Clicking a
/// row selects or deselects its display.
class PeripheralView : public QWidget {
  Q_OBJECT
 public:
  PeripheralView(std::shared_ptr<PeripheralManager> peripheralManager,
                 std::shared_ptr<PlaceDataModel> placeDataModel, QUndoStack* undoStack = nullptr,
                 QWidget* parent = nullptr);

  PeripheralAssignment& assignment() noexcept { return assignment_; }
  QListView* list() const noexcept { return list_; }
  QPushButton* assignButton() const noexcept { return assignButton_; }
  QPushButton* unassignButton() const noexcept { return unassignButton_; }
  QLabel* title() const noexcept { return title_; }
  QLabel* unlistedNote() const noexcept { return unlistedNote_; }
  /// "Serial number from a label": Enter assigns what it holds (see
  /// `PeripheralAssignment::enterSerialNumber`).
  QLineEdit* serialNumberField() const noexcept { return serialNumberField_; }
  /// Why the field's text was not assigned; hidden after an assignment.
  QLabel* entryNote() const noexcept { return entryNote_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void refresh();
  void enterSerialNumber();

  PeripheralAssignment assignment_;
  PeripheralListModel model_;
  QLabel* title_;
  QListView* list_;
  QLabel* unlistedNote_;
  QPushButton* assignButton_;
  QPushButton* unassignButton_;
  QLineEdit* serialNumberField_;
  QLabel* entryNote_;
};

}  // namespace tamrik
