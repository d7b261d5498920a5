#include "update/ActivityLog.h"

#include "platform/Trap.h"
#include "update/LogTimeStamp.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

ActivityLog::ActivityLog(QPlainTextEdit& box, IWindowing& windowing) : mBox(box), mWindowing(windowing)
{
    // Every append would otherwise be kept for undo, and the log has no end.
    mBox.setUndoRedoEnabled(false);
}

void ActivityLog::AppendLog(const QString& text)
{
    trap(mWindowing, "AppendLog", [&] {
        // The box keeps lines as blocks; a line end of the entry, or inside it, starts a new one.
        QString lines = text;
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        lines.append(QLatin1Char('\n'));

        QTextCursor cursor(mBox.document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(lines);
        mBox.setTextCursor(cursor);
        // The newest entry in view: the bottom of the log, back at the left edge.
        mBox.ensureCursorVisible();
        mBox.verticalScrollBar()->setValue(mBox.verticalScrollBar()->maximum());
        mBox.horizontalScrollBar()->setValue(mBox.horizontalScrollBar()->minimum());
    });
}

QString ActivityLog::stamped(const QString& message)
{
    return LogTimeStamp::now() + message;
}
