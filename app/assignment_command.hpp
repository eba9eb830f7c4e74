#pragma once

#include <QUndoCommand>
#include <memory>
#include <string>
#include <vector>

#include "model/place_data_model.hpp"

namespace tamrik {

/// An assignment or unassignment of displays as a step of the undo history. Undoing it puts back the
/// serial numbers of every place it changed and the `serialMap` entries of the serial numbers it moved;
/// redoing it puts back what it left.
///
/// ```cpp
/// if (auto step = AssignmentCommand::perform(model, AssignmentCommand::Kind::assign, {"SN1"}, desk))
///   undoStack.push(step.release());
/// ```
class AssignmentCommand final : public QUndoCommand {
 public:
  enum class Kind { assign, unassign };

  /// Performs the step on `model`, with its log lines and notifications, and returns it for the history,
  /// with a text that Edit > Undo and Redo show: "Assign 2 Displays to Desk 3", "Unassign 1 Display from
  /// Desk 3", counting the displays it moved and naming the place as it is; null when it changed nothing, so
  /// that it leaves the history (and what Redo would bring back) alone.
  static std::unique_ptr<AssignmentCommand> perform(const std::shared_ptr<PlaceDataModel>& model, Kind kind,
                                                    const std::vector<std::string>& serialNumbers,
                                                    const std::shared_ptr<TamrikPlace>& place);

  void redo() override;
  void undo() override;

 private:
  AssignmentCommand(std::shared_ptr<PlaceDataModel> model, PlaceDataModel::AssignmentState before,
                    PlaceDataModel::AssignmentState after);

  std::shared_ptr<PlaceDataModel> model_;
  PlaceDataModel::AssignmentState before_, after_;
  bool performed_ = true;  // the history's first redo finds the step done already
};

}  // namespace tamrik
