#pragma once

#include <QModelIndex>
#include <functional>

class QAbstractItemView;

namespace tamrik {

/// Runs `action` on the row the user clicks in `view`, and on its current row when Space, Return or Enter
/// is pressed, so that rows reached with the arrow keys act as clicked ones.
void onItemActivated(QAbstractItemView* view, std::function<void(const QModelIndex&)> action);

}  // namespace tamrik
