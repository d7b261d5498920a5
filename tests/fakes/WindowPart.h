#pragma once

#include <QAction>
#include <QtGlobal>

// A part of a window found as the user meets it, by its control name (its objectName): an
// item of its menus unless told otherwise.
template <typename Part = QAction> Part* part(const QObject& window, const char* name)
{
    Part* found = window.findChild<Part*>(QLatin1String(name));
    if (!found)
        qFatal("the window has no %s", name);
    return found;
}
