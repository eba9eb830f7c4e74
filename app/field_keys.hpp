#pragma once

class QLineEdit;

namespace tamrik {

/// Escape in `field` empties it, as in search fields, when it holds text; with none, Escape goes on to the
/// window.
void clearOnEscape(QLineEdit* field);

}  // namespace tamrik
