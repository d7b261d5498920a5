#include "settings/TextConversion.h"

#include "platform/Failure.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <optional>

namespace TextConversion {
namespace {

// Reads &H or &O digits from the start of text. A value of up to four hexadecimal digits
// (six octal) is a 16-bit pattern, up to eight (eleven) a 32-bit one, as the classic
// readers of such literals have it.
std::optional<double> readRadixLiteral(QStringView text, qsizetype& used)
{
    static const QRegularExpression kLiteral(QStringLiteral("^&(?:[hH]([0-9a-fA-F]+)|[oO]([0-7]+))"));
    const QRegularExpressionMatch match = kLiteral.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const bool hexadecimal = match.hasCaptured(1);
    bool ok = false;
    const quint64 value = match.capturedView(hexadecimal ? 1 : 2).toULongLong(&ok, hexadecimal ? 16 : 8);
    if (!ok || value > 0xFFFFFFFFull)
        throw failures::overflow();
    used = match.capturedLength();
    if (value <= 0xFFFFull)
        return static_cast<double>(static_cast<qint16>(static_cast<quint16>(value)));
    return static_cast<double>(static_cast<qint32>(static_cast<quint32>(value)));
}

// Reads the longest decimal number at the start of text: sign, digits, fraction, exponent.
std::optional<double> readDecimal(QStringView text, qsizetype& used)
{
    static const QRegularExpression kNumber(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?"));
    const QRegularExpressionMatch match = kNumber.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    used = match.capturedLength();
    bool ok = false;
    QString number = match.captured();
    if (number.endsWith(QLatin1Char('.')))
        number.chop(1);
    if (match.capturedView(1).startsWith(QLatin1Char('.')))
        number.insert(match.capturedStart(1), QLatin1Char('0'));
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

QStringView trimmedBlanks(QStringView text)
{
    static const QRegularExpression kBlanks(QStringLiteral("^[ \\t]*(.*?)[ \\t]*\\z"),
                                            QRegularExpression::DotMatchesEverythingOption);
    return kBlanks.match(text).capturedView(1);
}

// A whole text that is one number, with blanks around it; anything else is a type mismatch.
double wholeNumber(QStringView text)
{
    const QStringView view = trimmedBlanks(text);
    qsizetype used = 0;
    const auto value = readNumber(view, used);
    if (!value || used != view.size())
        throw failures::typeMismatch();
    return *value;
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
    return roundToLong(wholeNumber(text));
}

bool toBoolean(const QString& text)
{
    const QStringView view = trimmedBlanks(text);
    if (view.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (view.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    return wholeNumber(view) != 0.0;
}

double val(const QString& text)
{
    QString packed = text;
    packed.removeIf([](QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; });
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
