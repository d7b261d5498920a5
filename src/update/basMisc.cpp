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
    std::optional<QString> line = buffer.takeLine();
    if (line)
        *line = trimBlanks(*line);
    return line;
}

QString GetCommand(QString& line)
{
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank < 0) {
        QString word = line;
        line.clear();
        return word;
    }
    QString word = line.left(blank);
    line.remove(0, blank + 1);
    return word;
}

} // namespace basMisc
