#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, rendered from the SVG sources kept with it at the screen's device
// pixel ratio, so they stay sharp on a scaled desktop.
namespace Artwork {
QIcon windowIcon();    // 16, 22, 24, 32 and 48 pixels: a panel takes the size that fits it
QPixmap trayPicture(); // 16 pixels
QPixmap logo();        // 350 x 70
} // namespace Artwork
