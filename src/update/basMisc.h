#pragma once

#include "update/ReceiveBuffer.h"

#include <QString>

#include <optional>

// The lines and words of what a server sends.
namespace basMisc {

// Cuts the first complete line off the buffer and returns it without blanks at either end;
// nothing while its terminator has not arrived.
std::optional<QString> TopLine(ReceiveBuffer& buffer);

// Removes blanks (spaces only) at both ends.
QString trimBlanks(const QString& text);

// Returns the line's first word (up to the first blank, or the whole line) and leaves in the
// line only what follows that blank.
QString GetCommand(QString& line);

} // namespace basMisc
