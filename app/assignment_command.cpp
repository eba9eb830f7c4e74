#include "app/assignment_command.hpp"

#include <QObject>

namespace tamrik {

std::unique_ptr<AssignmentCommand> AssignmentCommand::perform(const std::shared_ptr<PlaceDataModel>& model,
                                                              Kind kind,
                                                              const std::vector<std::string>& serialNumbers,
                                                              const std::shared_ptr<TamrikPlace>& place) {
  auto places = model->placesAffectedBy(serialNumbers, place);
  auto before = model->captureAssignments(serialNumbers, places);
  if (kind == Kind::assign)
    model->assignSerialNumbers(serialNumbers, place);
  else
    model->unassignSerialNumbers(serialNumbers, place);
  auto after = model->captureAssignments(serialNumbers, places);
  if (before.places == after.places && before.entries == after.entries) return nullptr;
  return std::unique_ptr<AssignmentCommand>(
      new AssignmentCommand(model, kind, std::move(before), std::move(after)));
}

AssignmentCommand::AssignmentCommand(std::shared_ptr<PlaceDataModel> model, Kind kind,
                                     PlaceDataModel::AssignmentState before,
                                     PlaceDataModel::AssignmentState after)
    : QUndoCommand(kind == Kind::assign ? QObject::tr("Assign") : QObject::tr("Unassign")),
      model_(std::move(model)),
      before_(std::move(before)),
      after_(std::move(after)) {}

void AssignmentCommand::redo() {
  if (performed_) {
    performed_ = false;
    return;
  }
  model_->restoreAssignments(after_);
}

void AssignmentCommand::undo() {
  model_->restoreAssignments(before_);
}

}  // namespace tamrik
