#include "app/item_activation.hpp"

#include <QAbstractItemView>
#include <QKeyEvent>

namespace tamrik {
namespace {

class KeyActivation final : public QObject {
 public:
  KeyActivation(QAbstractItemView* view, std::function<void(const QModelIndex&)> action)
      : QObject(view), view_(view), action_(std::move(action)) {}

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    QModelIndex current = view_->currentIndex();
    if (!current.isValid()) return false;
    action_(current);
    return true;
  }

 private:
  QAbstractItemView* view_;
  std::function<void(const QModelIndex&)> action_;
};

}  // namespace

void onItemActivated(QAbstractItemView* view, std::function<void(const QModelIndex&)> action) {
  QObject::connect(view, &QAbstractItemView::clicked, view, action);
  view->installEventFilter(new KeyActivation(view, std::move(action)));
}

}  // namespace tamrik
