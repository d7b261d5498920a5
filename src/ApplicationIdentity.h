#pragma once

#include <QString>

// The application's title, version and copyright: the caption, the about box, the VER line
// and the settings file all take them from here (through the windowing service).
namespace identity {
inline const QString kTitle = QStringLiteral("Corvane DynDNS");
// The desktop file, the metainfo and the icon are named by it.
inline const QString kApplicationId = QStringLiteral("example.vexlin.CorvaneDynDNS");
inline constexpr int kMajor = 1;
inline constexpr int kMinor = 9;
inline constexpr int kRevision = 17;
inline const QString kLegalCopyright = QStringLiteral("Copyright (C) 2026 Vexlin");
// Source text of the failures the program's own code raises.
inline const QString kErrorSource = QStringLiteral("CorvaneDynDNS");
} // namespace identity
