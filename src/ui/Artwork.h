#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, rendered from the SVG sources kept with it.
namespace Artwork {
QIcon windowIcon();    // 16 and 32 pixels
QPixmap trayPicture(); // 16 pixels
QPixmap logo();        // 350 x 70
} // namespace Artwork
