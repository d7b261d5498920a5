#include "platform/qt/IniText.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace {

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || isLineEnd(c);
}

bool isHexDigit(char16_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// One logical line, as the reader splits the text: a quoted part may run over several
// physical lines, a backslash takes the next character with it, and a semicolon outside
// quotes starts a comment.
struct Line
{
    enum class Kind { Group, Entry, Other };
    qsizetype begin = 0;
    qsizetype end = 0;
    Kind kind = Kind::Other;
    QString name; // the group's name, or the entry's key
};

// Group names and keys as the reader decodes them: "\" stands for "/", "%XX" and "%UXXXX"
// for a character.
QString decodedName(QByteArrayView raw)
{
    const QString text = QString::fromUtf8(raw);
    QString result;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\')) {
            result += QLatin1Char('/');
            ++i;
            continue;
        }
        if (c == QLatin1Char('%') && i + 1 < text.size()) {
            const bool wide = text.at(i + 1) == QLatin1Char('U');
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = false;
            const ushort code =
                first + digits <= text.size() ? QStringView(text).sliced(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                result += QChar(code);
                i = first + digits;
                continue;
            }
        }
        result += c;
        ++i;
    }
    return result;
}

class LineScanner
{
public:
    explicit LineScanner(const QByteArray& text) : mText(text)
    {
        if (mText.startsWith("\xef\xbb\xbf"))
            mPos = 3;
    }

    std::optional<Line> next()
    {
        while (mPos < mText.size() && isSpace(mText.at(mPos)))
            ++mPos;
        if (mPos == mText.size())
            return std::nullopt;

        Line line;
        line.begin = mPos;
        qsizetype equals = -1;
        bool quoted = false;
        qsizetype i = mPos;
        if (mText.at(i) == ';') {
            while (i < mText.size() && !isLineEnd(mText.at(i)))
                ++i;
        } else {
            while (i < mText.size()) {
                const char c = mText.at(i);
                if (isLineEnd(c) && !quoted)
                    break;
                if (c == ';' && !quoted)
                    break;
                ++i;
                if (c == '=' && !quoted && equals < 0) {
                    equals = i - 1;
                } else if (c == '"') {
                    quoted = !quoted;
                } else if (c == '\\' && i < mText.size()) {
                    const char escaped = mText.at(i++);
                    if (i < mText.size() && isLineEnd(escaped) && isLineEnd(mText.at(i)) &&
                        mText.at(i) != escaped)
                        ++i;
                }
            }
        }
        line.end = i;
        mPos = i;

        const QByteArrayView body = QByteArrayView(mText).sliced(line.begin, line.end - line.begin);
        if (body.startsWith('[')) {
            qsizetype close = body.indexOf(']');
            if (close < 0)
                close = body.size();
            line.kind = Line::Kind::Group;
            const QByteArrayView name = body.sliced(1, close - 1).trimmed();
            line.name = name.compare("general", Qt::CaseInsensitive) == 0 ? QString() : decodedName(name);
        } else if (equals >= 0) {
            line.kind = Line::Kind::Entry;
            line.name = decodedName(body.first(equals - line.begin).trimmed());
        }
        return line;
    }

private:
    const QByteArray& mText;
    qsizetype mPos = 0;
};

// The end of a line together with the line break after it.
qsizetype withLineBreak(const QByteArray& text, qsizetype end)
{
    if (end < text.size() && text.at(end) == '\r')
        ++end;
    if (end < text.size() && text.at(end) == '\n')
        ++end;
    return end;
}

QByteArray entry(const QString& key, const QString& value)
{
    return key.toUtf8() + '=' + IniText::encodedValue(value);
}

void appendEscaped(QByteArray& out, char16_t c, bool& afterHexEscape)
{
    // A hexadecimal escape goes on for as long as hexadecimal digits follow it.
    if (afterHexEscape && isHexDigit(c)) {
        out += "\\x" + QByteArray::number(c, 16);
        return;
    }
    afterHexEscape = false;
    switch (c) {
    case '\\':
        out += "\\\\";
        return;
    case '"':
        out += "\\\"";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    out += "\\x" + QByteArray::number(c, 16);
    afterHexEscape = true;
}

} // namespace

namespace IniText {

QByteArray encodedValue(const QString& value)
{
    QByteArray out;
    // A leading "@" marks a typed value to the reader; doubled, it stands for itself.
    if (value.startsWith(QLatin1Char('@')))
        out += '@';
    bool quote = value.startsWith(QLatin1Char(' ')) || value.endsWith(QLatin1Char(' '));
    bool afterHexEscape = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value.at(i).unicode();
        if (c == ';' || c == ',' || c == '=')
            quote = true;
        if (c < 0x20 || c == 0x7f || c == '\\' || c == '"' || (afterHexEscape && isHexDigit(c))) {
            appendEscaped(out, c, afterHexEscape);
            continue;
        }
        afterHexEscape = false;
        const bool pair =
            QChar::isHighSurrogate(c) && i + 1 < value.size() && value.at(i + 1).isLowSurrogate();
        out += QStringView(value).sliced(i, pair ? 2 : 1).toUtf8();
        if (pair)
            ++i;
    }
    if (quote)
        return '"' + out + '"';
    return out;
}

QByteArray withGroup(const QByteArray& text, const QString& group, const SettingsValues& values)
{
    struct Edit
    {
        qsizetype begin;
        qsizetype end;
        QByteArray replacement;
    };
    QList<Edit> edits;
    QList<bool> written(values.size(), false);
    bool inGroup = false;
    bool inFirstPart = false;
    qsizetype insertAt = -1;

    LineScanner scanner(text);
    while (const std::optional<Line> line = scanner.next()) {
        if (line->kind == Line::Kind::Group) {
            inFirstPart = line->name == group && insertAt < 0;
            inGroup = line->name == group;
            if (inFirstPart)
                insertAt = line->end;
            continue;
        }
        if (!inGroup || line->kind != Line::Kind::Entry)
            continue;
        qsizetype index = values.size() - 1;
        while (index >= 0 && values.at(index).first != line->name)
            --index;
        if (index >= 0 && written.at(index)) {
            // A repeated key: the reader would take the last one; the file keeps one.
            edits.append({line->begin, withLineBreak(text, line->end), QByteArray()});
            continue;
        }
        if (index >= 0) {
            edits.append({line->begin, line->end, entry(values.at(index).first, values.at(index).second)});
            written[index] = true;
        }
        if (inFirstPart)
            insertAt = line->end;
    }

    QByteArray missing;
    for (qsizetype k = 0; k < values.size(); ++k) {
        if (!written.at(k))
            missing += '\n' + entry(values.at(k).first, values.at(k).second);
    }
    QByteArray tail;
    if (insertAt >= 0) {
        edits.append({insertAt, insertAt, missing});
    } else {
        // The group is new: it goes at the end, after an empty line.
        if (!text.isEmpty())
            tail = text.endsWith('\n') ? "\n" : "\n\n";
        tail += '[' + group.toUtf8() + ']' + missing + '\n';
    }
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.begin < b.begin; });

    QByteArray out;
    out.reserve(text.size() + missing.size() + tail.size() + 64);
    qsizetype copiedTo = 0;
    for (const Edit& edit : edits) {
        out += QByteArrayView(text).sliced(copiedTo, edit.begin - copiedTo);
        out += edit.replacement;
        copiedTo = edit.end;
    }
    out += QByteArrayView(text).sliced(copiedTo);
    return out + tail;
}

} // namespace IniText
