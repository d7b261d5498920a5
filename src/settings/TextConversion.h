#pragma once

#include <QString>

// Conversions between the settings' text forms and their values. Failures are thrown as
// "Type mismatch" (13) or "Overflow" (6).
namespace TextConversion {

// Strict integer reading: blanks around the number, a sign, a fraction and an exponent are
// allowed, as are &H hexadecimal and &O octal; fractions go to the nearest integer, ties to
// the even one. Anything else is a type mismatch.
qint32 toLong(const QString& text);

// "True" or "False" in any case, or a number (zero is false).
bool toBoolean(const QString& text);

// Lenient reading: blanks, tabs and line feeds are dropped wherever they stand, then the
// longest number at the start is taken; text that does not start with a number gives 0.
double val(const QString& text);

// The nearest 32-bit integer, ties to the even one; an overflow outside that range.
qint32 roundToLong(double value);

QString fromLong(qint32 value);
QString fromBoolean(bool value);

} // namespace TextConversion
