#include "app/VisibleText.h"

namespace VisibleText {

QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7f && code < 0xa0))
            out += QStringLiteral("\\x") + QString::number(code, 16).rightJustified(2, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace VisibleText
