#pragma once

#include <QUndoCommand>
#include <memory>
#include <string>
#include <vector>

#include "model/place_data_model.hpp"

namespace tamrik {

/// An assignment or unassignment of displays as a step of the undo history. Undoing it puts back the
/// serial numbers of every place it changed and the `serialMap` entries of the serial numbers it moved;
/// redoing it puts back what it left. A step that changed nothing leaves no trace in the history.
class AssignmentCommand final : public QUndoCommand {
 public:
  enum class Kind { assign, unassign };

  AssignmentCommand(std::shared_ptr<PlaceDataModel> model, Kind kind, std::vector<std::string> serialNumbers,
                    std::shared_ptr<TamrikPlace> place);

  void redo() override;
  void undo() override;

 private:
  std::shared_ptr<PlaceDataModel> model_;
  Kind kind_;
  std::vector<std::string> serialNumbers_;
  std::shared_ptr<TamrikPlace> place_;
  bool done_ = false;  // performed once; later redos put back `after_`
  PlaceDataModel::AssignmentState before_, after_;
};

}  // namespace tamrik
