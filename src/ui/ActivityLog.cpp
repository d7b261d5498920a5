#include "ui/ActivityLog.h"

#include "platform/Trap.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {
// Lines near the end keep their layouts: they are on screen, or soon may be.
constexpr int kKeepLaidOut = 64;
constexpr int kShedEvery = 256;
} // namespace

ActivityLog::ActivityLog(QPlainTextEdit& box, IWindowing& windowing) : mBox(box), mWindowing(windowing)
{
    // Every append would otherwise be kept for undo.
    mBox.setUndoRedoEnabled(false);
    // The empty line after the last entry's line end is a block of its own.
    mBox.setMaximumBlockCount(kMaxEntries + 1);
}

void ActivityLog::AppendLog(const QString& text)
{
    trap(mWindowing, "AppendLog", [&] {
        QString lines = LogEntry::bounded(text);
        // The box keeps lines as blocks; a line end of the entry, or inside it, starts a new one.
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        lines.append(QLatin1Char('\n'));

        // Inside an edit block the cursor does not lay its line out on the way.
        QTextCursor cursor(mBox.document());
        cursor.beginEditBlock();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(lines);
        cursor.endEditBlock();
        if (++mAppendsSinceShed >= kShedEvery)
            shedLayouts();
        cursor.movePosition(QTextCursor::End);
        mBox.setTextCursor(cursor);
        // The newest entry in view: the bottom of the log, back at the left edge.
        mBox.verticalScrollBar()->setValue(mBox.verticalScrollBar()->maximum());
        mBox.horizontalScrollBar()->setValue(mBox.horizontalScrollBar()->minimum());
    });
}

// The box keeps a layout of a few hundred bytes for every line that has ever been at the caret
// or on screen, and lets go of it only with the line. Lines that have left the end of the log
// are put back in one piece, which drops their layouts; what the box shows does not change.
void ActivityLog::shedLayouts()
{
    mAppendsSinceShed = 0;
    QTextDocument* document = mBox.document();
    QTextBlock to = document->lastBlock();
    for (int k = 0; k < kKeepLaidOut && to.isValid(); ++k)
        to = to.previous();
    QTextBlock from = to;
    for (int k = 0; k < kShedEvery && from.previous().isValid(); ++k)
        from = from.previous();
    if (!to.isValid() || from == to)
        return;
    QTextCursor range(document);
    range.beginEditBlock();
    range.setPosition(from.position());
    range.setPosition(to.position(), QTextCursor::KeepAnchor);
    QString text = range.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    range.insertText(text);
    range.endEditBlock();
}
