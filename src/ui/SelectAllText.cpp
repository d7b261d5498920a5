#include "ui/SelectAllText.h"

#include <QLineEdit>

namespace basMisc {

void SelectAllText(QLineEdit& box)
{
    box.setSelection(0, static_cast<int>(box.text().size()));
}

} // namespace basMisc
