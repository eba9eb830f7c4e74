#include "app/field_keys.hpp"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace tamrik {
namespace {

class EscapeClears final : public QObject {
 public:
  explicit EscapeClears(QLineEdit* field) : QObject(field), field_(field) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape ||
        field_->text().isEmpty())
      return false;
    field_->clear();
    return true;
  }

 private:
  QLineEdit* field_;
};

}  // namespace

void clearOnEscape(QLineEdit* field) {
  field->installEventFilter(new EscapeClears(field));
}

}  // namespace tamrik
