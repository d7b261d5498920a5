#pragma once

#include "platform/ISettingsStore.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// The text of an INI file as the settings store reads it. A save replaces the values of one
// group and leaves every other byte of the file as it was: other groups, comments and lines
// the reader cannot make sense of are kept, so a flaw elsewhere in the file never stops the
// settings being written.
namespace IniText {

// The text with the group's keys set to the values: a key already present is replaced where
// it stands (a repeated one is dropped), a missing one is added at the end of the group, and
// a missing group is added at the end of the text. The removed keys' lines go, each with its
// line break.
QByteArray withGroup(const QByteArray& text, const QString& group, const SettingsValues& values,
                     const QStringList& removed = {});

// The group's keys and their values, as text: quotes, escapes and a leading "@@" are undone,
// a list (commas outside quotes) is joined with ", ", and the last of a repeated key counts.
// A typed value ("@Variant(...)" and the like) is not decoded: it stands as written, so no
// hand-edited value can do more to the reader than give it text it does not expect.
QHash<QString, QString> groupValues(const QByteArray& text, const QString& group);

} // namespace IniText
