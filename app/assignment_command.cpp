#include "app/assignment_command.hpp"

#include <QObject>

namespace tamrik {
namespace {

bool sameState(const PlaceDataModel::AssignmentState& a, const PlaceDataModel::AssignmentState& b) {
  return a.places == b.places && a.entries == b.entries;
}

}  // namespace

AssignmentCommand::AssignmentCommand(std::shared_ptr<PlaceDataModel> model, Kind kind,
                                     std::vector<std::string> serialNumbers,
                                     std::shared_ptr<TamrikPlace> place)
    : QUndoCommand(kind == Kind::assign ? QObject::tr("Assign") : QObject::tr("Unassign")),
      model_(std::move(model)),
      kind_(kind),
      serialNumbers_(std::move(serialNumbers)),
      place_(std::move(place)) {}

void AssignmentCommand::redo() {
  if (done_) {
    model_->restoreAssignments(after_);
    return;
  }
  // The first time it runs as the operation itself, with its log lines and notifications.
  auto places = model_->placesAffectedBy(serialNumbers_, place_);
  before_ = model_->captureAssignments(serialNumbers_, places);
  if (kind_ == Kind::assign)
    model_->assignSerialNumbers(serialNumbers_, place_);
  else
    model_->unassignSerialNumbers(serialNumbers_, place_);
  after_ = model_->captureAssignments(serialNumbers_, places);
  done_ = true;
  if (sameState(before_, after_)) setObsolete(true);
}

void AssignmentCommand::undo() {
  model_->restoreAssignments(before_);
}

}  // namespace tamrik
