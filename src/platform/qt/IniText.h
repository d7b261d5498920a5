#pragma once

#include "platform/ISettingsStore.h"

#include <QByteArray>
#include <QString>

// The text of an INI file as the settings store reads it. A save replaces the values of one
// group and leaves every other byte of the file as it was: other groups, comments and lines
// the reader cannot make sense of are kept, so a flaw elsewhere in the file never stops the
// settings being written.
namespace IniText {

// The text with the group's keys set to the values: a key already present is replaced where
// it stands (a repeated one is dropped), a missing one is added at the end of the group, and
// a missing group is added at the end of the text.
QByteArray withGroup(const QByteArray& text, const QString& group, const SettingsValues& values);

// A value as it stands after "key=", so that it reads back exactly as given.
QByteArray encodedValue(const QString& value);

} // namespace IniText
