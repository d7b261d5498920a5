#pragma once

class QWidget;

namespace ScreenPlacement {
// Moves a window to the centre of the screen it will appear on.
void centre(QWidget& window);
} // namespace ScreenPlacement
