#pragma once

#include <QString>
#include <QStringList>

class CSettings;

// What keeps a run without a window from using the loaded settings, one sentence each: a value
// that could not be read, a settings file that could not be read at all, a port that is none.
// The window takes defaults for such values and lets the socket say what is wrong with a port; a
// script is told at once.
namespace ScriptSettings {

// A value of the key mended is no problem: the run writes that key anew.
QStringList problems(const CSettings& settings, const QString& file, const QString& mended = {});

} // namespace ScriptSettings
