#include "app/VisibleText.h"

namespace {

bool isControl(char16_t code)
{
    return code < 0x20 || (code >= 0x7f && code < 0xa0);
}

} // namespace

namespace VisibleText {

QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (isControl(code))
            out += QStringLiteral("\\x") + QString::number(code, 16).rightJustified(2, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString withoutControls(const QString& text)
{
    QString out = text;
    out.removeIf([](QChar c) { return isControl(c.unicode()); });
    return out;
}

} // namespace VisibleText
