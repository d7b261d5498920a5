#include "settings/TextConversion.h"

#include "platform/Failure.h"

#include <QLocale>

#include <cmath>
#include <limits>
#include <optional>

namespace TextConversion {
namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int digitValue(QChar c, int base)
{
    const char16_t u = c.toUpper().unicode();
    int digit = -1;
    if (u >= u'0' && u <= u'9')
        digit = u - u'0';
    else if (u >= u'A' && u <= u'F')
        digit = 10 + (u - u'A');
    return digit < base ? digit : -1;
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Reads &H or &O digits from the start of text. A value of up to four hexadecimal digits
// (six octal) is a 16-bit pattern, up to eight (eleven) a 32-bit one, as the classic
// readers of such literals have it.
std::optional<double> readRadixLiteral(QStringView text, qsizetype& used)
{
    if (text.size() < 3 || text[0] != QLatin1Char('&'))
        return std::nullopt;
    const QChar kind = text[1].toUpper();
    const int base = kind == QLatin1Char('H') ? 16 : kind == QLatin1Char('O') ? 8 : 0;
    if (base == 0)
        return std::nullopt;

    qsizetype end = 2;
    quint64 value = 0;
    for (int digit; end < text.size() && (digit = digitValue(text[end], base)) >= 0; ++end) {
        value = value * static_cast<quint64>(base) + static_cast<quint64>(digit);
        if (value > 0xFFFFFFFFull)
            throw failures::overflow();
    }
    if (end == 2)
        return std::nullopt;
    used = end;
    if (value <= 0xFFFFull)
        return static_cast<double>(static_cast<qint16>(static_cast<quint16>(value)));
    return static_cast<double>(static_cast<qint32>(static_cast<quint32>(value)));
}

// Reads the longest decimal number at the start of text: sign, digits, fraction, exponent.
std::optional<double> readDecimal(QStringView text, qsizetype& used)
{
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    used = i;
    bool ok = false;
    QString number = text.first(i).toString();
    if (number.endsWith(QLatin1Char('.')))
        number.chop(1);
    if (number.startsWith(QLatin1Char('.')) || number.startsWith(QStringLiteral("+.")) ||
        number.startsWith(QStringLiteral("-.")))
        number.insert(number.indexOf(QLatin1Char('.')), QLatin1Char('0'));
    const double value = QLocale::c().toDouble(number, &ok);
    if (!ok || !std::isfinite(value))
        throw failures::overflow();
    return value;
}

std::optional<double> readNumber(QStringView text, qsizetype& used)
{
    if (auto radix = readRadixLiteral(text, used))
        return radix;
    return readDecimal(text, used);
}

QStringView trimmedBlanks(const QString& text)
{
    QStringView view(text);
    while (!view.isEmpty() && isBlank(view.front()))
        view = view.sliced(1);
    while (!view.isEmpty() && isBlank(view.back()))
        view.chop(1);
    return view;
}

// A whole text that is one number, with blanks around it.
std::optional<double> wholeNumber(const QString& text)
{
    const QStringView view = trimmedBlanks(text);
    qsizetype used = 0;
    const auto value = readNumber(view, used);
    if (!value || used != view.size())
        return std::nullopt;
    return value;
}

} // namespace

qint32 roundToLong(double value)
{
    if (!std::isfinite(value))
        throw failures::overflow();
    const double rounded = std::nearbyint(value);
    if (rounded < static_cast<double>(std::numeric_limits<qint32>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<qint32>::max()))
        throw failures::overflow();
    return static_cast<qint32>(rounded);
}

qint32 toLong(const QString& text)
{
    const auto value = wholeNumber(text);
    if (!value)
        throw failures::typeMismatch();
    return roundToLong(*value);
}

bool toBoolean(const QString& text)
{
    const QStringView view = trimmedBlanks(text);
    if (view.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (view.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const auto value = wholeNumber(text);
    if (!value)
        throw failures::typeMismatch();
    return *value != 0.0;
}

double val(const QString& text)
{
    QString packed = text;
    packed.removeIf([](QChar c) { return isBlank(c) || c == QLatin1Char('\n'); });
    qsizetype used = 0;
    return readNumber(packed, used).value_or(0.0);
}

QString fromLong(qint32 value)
{
    return QString::number(value);
}

QString fromBoolean(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace TextConversion
