#include "app/assignment_command.hpp"

#include <QObject>

namespace tamrik {
namespace {

QString describe(AssignmentCommand::Kind kind, std::size_t displays, const QString& place) {
  // `arg` in one pass, so that a "%1" in the place's name stays as it is.
  if (kind == AssignmentCommand::Kind::assign)
    return displays == 1 ? QObject::tr("Assign 1 Display to %1").arg(place)
                         : QObject::tr("Assign %1 Displays to %2").arg(QString::number(displays), place);
  return displays == 1 ? QObject::tr("Unassign 1 Display from %1").arg(place)
                       : QObject::tr("Unassign %1 Displays from %2").arg(QString::number(displays), place);
}

}  // namespace

std::unique_ptr<AssignmentCommand> AssignmentCommand::perform(const std::shared_ptr<PlaceDataModel>& model,
                                                              Kind kind,
                                                              const std::vector<std::string>& serialNumbers,
                                                              const std::shared_ptr<TamrikPlace>& place) {
  // The displays the step moves, for its name: those not already where it puts them.
  std::size_t moved = 0;
  for (const auto& serial : serialNumbers) {
    const bool held = place && place->serialNumbers().contains(serial);
    const auto entry = model->serialMap().find(serial);
    const bool assignedHere = held && entry != model->serialMap().end() && entry->second == place;
    if (kind == Kind::assign ? !assignedHere : held) ++moved;
  }
  auto places = model->placesAffectedBy(serialNumbers, place);
  auto before = model->captureAssignments(serialNumbers, places);
  if (kind == Kind::assign)
    model->assignSerialNumbers(serialNumbers, place);
  else
    model->unassignSerialNumbers(serialNumbers, place);
  auto after = model->captureAssignments(serialNumbers, places);
  if (before.places == after.places && before.entries == after.entries) return nullptr;
  auto step =
      std::unique_ptr<AssignmentCommand>(new AssignmentCommand(model, std::move(before), std::move(after)));
  // Something changed, so there is a place.
  // The history takes a line break in a step's text for the start of the menu's own wording.
  QString name = QString::fromStdString(place->name());
  for (QChar& c : name)
    if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) c = u' ';
  step->setText(describe(kind, moved, name));
  return step;
}

AssignmentCommand::AssignmentCommand(std::shared_ptr<PlaceDataModel> model,
                                     PlaceDataModel::AssignmentState before,
                                     PlaceDataModel::AssignmentState after)
    : model_(std::move(model)), before_(std::move(before)), after_(std::move(after)) {}

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
