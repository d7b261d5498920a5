#include "update/ConsoleLog.h"

#include "app/Identity.h"
#include "app/VisibleText.h"
#include "update/ActivityLog.h"

void ConsoleLog::entry(const QString& text) const
{
    if (!mQuiet)
        print(mOut, ActivityLog::bounded(text));
}

void ConsoleLog::error(const QString& text) const
{
    print(mErr, ActivityLog::bounded(text));
}

void ConsoleLog::complain(const QString& text) const
{
    print(mErr, identity::kProgram + QStringLiteral(": ") + text);
}

void ConsoleLog::line(const QString& text) const
{
    print(mOut, text);
}

void ConsoleLog::print(std::FILE* stream, const QString& line)
{
    const QByteArray text = VisibleText::escaped(line).toLocal8Bit() + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fflush(stream);
}
