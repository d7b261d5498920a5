#pragma once

#include <QString>

namespace VisibleText {

// The text with every control character (C0, DEL and C1) written as "\xHH", so that a
// server's words printed on a terminal or kept in a file can neither steer the terminal nor
// cut or split a line.
QString escaped(const QString& text);

// The text with those characters taken out.
QString withoutControls(const QString& text);

} // namespace VisibleText
