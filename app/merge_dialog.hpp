#pragma once

// The window's side of a merge: the dialog in which the user settles its conflicts, and how the files
// and the warnings read.

#include <QDialog>
#include <QString>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

#include "model/merge.hpp"

class QComboBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tamrik {

/// The conflicts of a merge, for the user to settle ("Merge Conflicts"): each serial number with the
/// places the files put it at (the path of names, and the files that put it there), of which the user
/// picks one; or one file to follow for all, which settles what that file settles, as a preference for it
/// does, and leaves the rest as they were. OK is enabled once every conflict is settled.
///
/// ```cpp
/// MergeDialog dialog(result, names, parent);
/// if (dialog.exec() == QDialog::Accepted) settleConflicts(result, dialog.settledPicks());
/// ```
class MergeDialog : public QDialog {
  Q_OBJECT
 public:
  /// `names` name the files by position; their order and the warnings of `result` are shown with the
  /// conflicts.
  MergeDialog(const MergeResult& result, std::vector<QString> names, QWidget* parent = nullptr);

  /// A top-level item per conflict (its serial number), a child per place, checked once picked.
  QTreeWidget* conflictList() const noexcept { return list_; }
  /// "Follow one file for all", whose entries are the files in order.
  QComboBox* fileChoice() const noexcept { return fileChoice_; }
  QPushButton* okButton() const noexcept { return okButton_; }

  /// Keeps the serial number of conflict `conflict` at its place `place`, as a click on the place does.
  void pick(std::size_t conflict, std::size_t place);
  /// Settles every conflict that file `file` settles, as a preference for it does.
  void followFile(std::size_t file);
  /// The place picked for each conflict; absent while unsettled.
  const std::vector<std::optional<std::size_t>>& picks() const noexcept { return picks_; }
  /// Whether every conflict has its place.
  bool isSettled() const;
  /// The picks, once settled, as `settleConflicts` takes them.
  std::vector<std::size_t> settledPicks() const;

 private:
  void showPicks();

  const MergeResult& result_;
  std::vector<std::optional<std::size_t>> picks_;
  QTreeWidget* list_;
  QComboBox* fileChoice_;
  QPushButton* okButton_;
  bool showing_ = false;  // the list is being brought in line with `picks_`
};

/// `files` in the order a merge takes them, which decides the names it keeps: by file name, ignoring case,
/// then by path; not in the order a file dialog happens to give them.
std::vector<std::filesystem::path> inMergeOrder(std::vector<std::filesystem::path> files);

/// How `files` are named to the user: by file name, or by path where two share a name (each person's
/// "places.csv").
std::vector<std::filesystem::path> mergeFileNames(const std::vector<std::filesystem::path>& files);

/// "Names are taken from the files in this order: a.csv, b.csv." for the files `names` name; empty for
/// one file.
QString mergeOrderText(const std::vector<std::filesystem::path>& names);

/// What a merge of the files `names` name warns of, in plain words: a short `summary` (the order of the
/// files, the first warnings, how many more) and every warning in `details`, for "Show Details…"; both
/// empty without warnings.
struct MergeWarningText {
  QString summary;
  QString details;
};
MergeWarningText mergeWarningText(const std::vector<MergeWarning>& warnings,
                                  const std::vector<std::filesystem::path>& names);

/// Shows every warning of a merge, its summary first and the rest behind "Show Details…".
void showMergeWarnings(QWidget* parent, const MergeWarningText& text);

/// Asks in a `MergeDialog` how to settle the conflicts of `result`: the place kept for each, in order, or
/// nothing when the user cancels.
std::optional<std::vector<std::size_t>> askAboutConflicts(QWidget* parent, const MergeResult& result,
                                                          const std::vector<std::filesystem::path>& names);

}  // namespace tamrik
