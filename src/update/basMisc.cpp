#include "update/basMisc.h"

namespace basMisc {

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

std::optional<QString> TopLine(ReceiveBuffer& buffer)
{
    const std::optional<QString> line = buffer.takeLine();
    return line ? std::optional(trimBlanks(*line)) : std::nullopt;
}

QString GetCommand(QString& line)
{
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    const QString word = line.left(blank);
    line = blank < 0 ? QString() : line.mid(blank + 1);
    return word;
}

} // namespace basMisc
