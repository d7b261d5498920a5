#pragma once

class QLineEdit;

namespace basMisc {
// Selects the whole text of the box, so the first key typed replaces it.
void SelectAllText(QLineEdit& box);
} // namespace basMisc
