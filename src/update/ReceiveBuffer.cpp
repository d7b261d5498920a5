#include "update/ReceiveBuffer.h"

#include <algorithm>

namespace {
constexpr qsizetype kCompactAbove = 4096;
}

std::optional<QString> ReceiveBuffer::takeLine()
{
    const QChar* data = mText.constData();
    const qsizetype size = mText.size();
    qsizetype i = std::max(mStart, mScanned);
    while (i < size && data[i] != QLatin1Char('\r') && data[i] != QLatin1Char('\n'))
        ++i;
    if (i == size) {
        mScanned = size;
        return std::nullopt;
    }
    QString line = mText.mid(mStart, i - mStart);
    const bool pair = data[i] == QLatin1Char('\r') && i + 1 < size && data[i + 1] == QLatin1Char('\n');
    mStart = i + (pair ? 2 : 1);
    mScanned = mStart;
    compact();
    return line;
}

QString ReceiveBuffer::takeRest()
{
    QString rest = mText.mid(mStart);
    clear();
    return rest;
}

void ReceiveBuffer::clear()
{
    mText.clear();
    mStart = 0;
    mScanned = 0;
}

void ReceiveBuffer::compact()
{
    if (mStart == mText.size()) {
        clear();
    } else if (mStart > kCompactAbove && mStart > mText.size() / 2) {
        mText.remove(0, mStart);
        mScanned -= mStart;
        mStart = 0;
    }
}
