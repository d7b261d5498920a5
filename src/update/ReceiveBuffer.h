#pragma once

#include <QString>

#include <optional>

// Received text not yet cut into lines. Lines are taken off the front without copying the
// rest; the consumed part is dropped once it outweighs what is left.
class ReceiveBuffer
{
public:
    // The longest line a server may send; a longer one ends the conversation.
    static constexpr qsizetype kMaxLine = 64 * 1024;

    void append(const QString& text) { mText.append(text); }
    // The first complete line, without its terminator: CR LF, a lone LF or a lone CR,
    // whichever comes first. Nothing when no terminator has arrived yet.
    std::optional<QString> takeLine();
    // Whatever is held after the last terminator; the buffer is then empty.
    QString takeRest();
    void clear();

    // The start of what is held, at most max characters, without taking it.
    QString peek(qsizetype max) const { return mText.mid(mStart, max); }
    qsizetype heldSize() const { return mText.size() - mStart; }
    // Characters kept in memory: lines already taken count until the buffer lets them go.
    qsizetype storedSize() const { return mText.size(); }

private:
    void compact();

    QString mText;
    qsizetype mStart = 0;
    // Everything before this position is known to hold no terminator.
    qsizetype mScanned = 0;
};
