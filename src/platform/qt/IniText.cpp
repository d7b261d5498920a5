#include "platform/qt/IniText.h"

#include <QStringDecoder>

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// One line of the text: it ends at the line break, whatever comes before it, so that a quote
// left open or a backslash at the end of a hand-edited line can never take the lines after it
// (the [Settings] group among them) into its value. Inside it a backslash takes the next
// character with it, and a semicolon outside quotes starts a comment.
struct Line
{
    enum class Kind { Group, Entry, Other };
    qsizetype begin = 0;
    qsizetype end = 0;
    Kind kind = Kind::Other;
    QString name;             // the group's name, or the entry's key
    qsizetype valueBegin = 0; // an entry's value: from here to the end
};

// Group names and keys as the reader decodes them: "\" stands for "/", "%XX" and "%UXXXX"
// for a character.
QString decodedName(QByteArrayView raw)
{
    const QString text = QString::fromUtf8(raw);
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%') && i + 1 < text.size()) {
            const bool wide = text.at(i + 1) == QLatin1Char('U');
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = false;
            const ushort code =
                first + digits <= text.size() ? QStringView(text).sliced(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                result += QChar(code);
                i = first + digits - 1;
                continue;
            }
        }
        result += c == QLatin1Char('\\') ? QChar(u'/') : c;
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
        while (mPos < mText.size() &&
               (mText.at(mPos) == ' ' || mText.at(mPos) == '\t' || isLineEnd(mText.at(mPos))))
            ++mPos;
        if (mPos == mText.size())
            return std::nullopt;

        Line line;
        line.begin = mPos;
        qsizetype equals = -1;
        bool quoted = false;
        qsizetype i = mPos;
        // A comment line goes to its end, whatever it holds.
        const bool comment = mText.at(i) == ';';
        while (i < mText.size() && !isLineEnd(mText.at(i)) && (comment || quoted || mText.at(i) != ';')) {
            const char c = mText.at(i++);
            if (comment)
                continue;
            if (c == '=' && !quoted && equals < 0)
                equals = i - 1;
            else if (c == '"')
                quoted = !quoted;
            else if (c == '\\' && i < mText.size() && !isLineEnd(mText.at(i)))
                ++i;
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
            line.valueBegin = equals + 1;
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

// The escapes of a single character, "\n" and the like, as the reader takes them.
char simpleEscape(char c)
{
    constexpr std::string_view kNames = "abfnrtv\"?'\\";
    const size_t at = kNames.find(c);
    return at == std::string_view::npos ? 0 : "\a\b\f\n\r\t\v\"?'\\"[at];
}

int digitValue(char16_t c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// A value as it stands after "key=", so that it reads back exactly as given.
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
        // A hexadecimal escape goes on for as long as hexadecimal digits follow it.
        if (c < 0x20 || c == 0x7f || c == '\\' || c == '"' || (afterHexEscape && digitValue(c, 16) >= 0)) {
            const size_t simple = std::u16string_view(u"\\\"\n\r\t").find(c);
            afterHexEscape = simple == std::u16string_view::npos;
            out += afterHexEscape ? "\\x" + QByteArray::number(c, 16) : QByteArray("\\") + "\\\"nrt"[simple];
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

QByteArray entry(const QString& key, const QString& value)
{
    return key.toUtf8() + '=' + encodedValue(value);
}

// A value as the reader unescapes it: a quoted part is kept as it is, a backslash escapes
// the next character (or starts an octal or a hexadecimal code), a comma outside quotes
// separates list items, and blanks around an unquoted item are dropped.
class ValueReader
{
public:
    explicit ValueReader(QByteArrayView raw) : mRaw(raw) {}

    QString text()
    {
        skipBlanks();
        if (read())
            chopBlanks();
        if (!mList)
            return typedAsText(mCurrent);
        appendItem();
        return mJoined;
    }

private:
    // False when the text ended inside an escape: the blanks before it then stay.
    bool read()
    {
        while (mPos < mRaw.size()) {
            const char c = mRaw.at(mPos);
            if (c == '\\') {
                if (!readEscape())
                    return false;
            } else if (c == '"') {
                ++mPos;
                mQuoted = true;
                mInQuotes = !mInQuotes;
                if (!mInQuotes)
                    skipBlanks();
            } else if (c == ',' && !mInQuotes) {
                chopBlanks();
                appendItem();
                mCurrent.clear();
                mQuoted = false;
                ++mPos;
                skipBlanks();
            } else {
                qsizetype end = mPos + 1;
                while (end < mRaw.size() && mRaw.at(end) != '\\' && mRaw.at(end) != '"' &&
                       mRaw.at(end) != ',')
                    ++end;
                mCurrent += mDecoder.decode(mRaw.sliced(mPos, end - mPos));
                mPos = end;
            }
        }
        return true;
    }

    bool readEscape()
    {
        if (++mPos >= mRaw.size())
            return false;
        const char c = mRaw.at(mPos++);
        if (const char plain = simpleEscape(c)) {
            mCurrent += QLatin1Char(plain);
        } else if (c == 'x' || digitValue(c, 8) >= 0) {
            const int base = c == 'x' ? 16 : 8;
            if (c == 'x' && mPos >= mRaw.size())
                return false;
            bool any = c != 'x';
            // The code wraps at sixteen bits, as the reader's does.
            char16_t code = c == 'x' ? 0 : static_cast<char16_t>(c - '0');
            for (int digit; mPos < mRaw.size() && (digit = digitValue(mRaw.at(mPos), base)) >= 0; ++mPos) {
                code = static_cast<char16_t>(code * base + digit);
                any = true;
            }
            if (any) {
                mCurrent += QChar(code);
                if (mPos >= mRaw.size())
                    return false;
            }
        }
        mChopLimit = mCurrent.size();
        return true;
    }

    // Items are joined as they end: a value of nothing but commas costs no more than its text.
    void appendItem()
    {
        if (mList)
            mJoined += QStringLiteral(", ");
        mList = true;
        mJoined += QStringView(mCurrent).sliced(mCurrent.startsWith(QStringLiteral("@@")) ? 1 : 0);
    }

    void skipBlanks()
    {
        while (mPos < mRaw.size() && (mRaw.at(mPos) == ' ' || mRaw.at(mPos) == '\t'))
            ++mPos;
        mChopLimit = mCurrent.size();
    }

    void chopBlanks()
    {
        if (mQuoted)
            return;
        while (mCurrent.size() > mChopLimit && (mCurrent.back() == u' ' || mCurrent.back() == u'\t'))
            mCurrent.chop(1);
    }

    // Text written with a marker of its own type reads as that text; values of other types
    // stand as written.
    static QString typedAsText(const QString& value)
    {
        if (!value.startsWith(QLatin1Char('@')))
            return value;
        if (value.startsWith(QStringLiteral("@@")))
            return value.mid(1);
        if (value.endsWith(QLatin1Char(')'))) {
            if (value.startsWith(QStringLiteral("@ByteArray(")))
                return QString::fromUtf8(QStringView(value).sliced(11).chopped(1).toLatin1());
            if (value.startsWith(QStringLiteral("@String(")))
                return value.sliced(8).chopped(1);
            if (value == QStringLiteral("@Invalid()"))
                return QString();
        }
        return value;
    }

    QByteArrayView mRaw;
    // A U+FEFF that begins a piece of the value is the value's own, not a byte order mark.
    QStringDecoder mDecoder{QStringDecoder::Utf8,
                            QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
    qsizetype mPos = 0;
    QString mCurrent;
    QString mJoined;
    qsizetype mChopLimit = 0;
    bool mInQuotes = false;
    bool mQuoted = false;
    bool mList = false;
};

} // namespace

namespace IniText {

QHash<QString, QString> groupValues(const QByteArray& text, const QString& group)
{
    QHash<QString, QString> values;
    bool inGroup = false;
    LineScanner scanner(text);
    while (const std::optional<Line> line = scanner.next()) {
        if (line->kind == Line::Kind::Group)
            inGroup = line->name == group;
        else if (inGroup && line->kind == Line::Kind::Entry)
            values.insert(line->name, ValueReader(QByteArrayView(text).sliced(line->valueBegin,
                                                                              line->end - line->valueBegin))
                                          .text());
    }
    return values;
}

QByteArray withGroup(const QByteArray& text, const QString& group, const SettingsValues& values,
                     const QStringList& removed)
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
        // A repeated key goes too: the reader would take the last one; the file keeps one.
        if (removed.contains(line->name) || (index >= 0 && written.at(index))) {
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
