#pragma once

#include <QString>

#include <optional>

// The words that stand for the values of an enumeration in a protocol or a file, as explicit
// pairs: no list that matches by order.
template <typename Enum> struct Word
{
    Enum value;
    const char* text;
};

template <typename Enum, std::size_t N> QString wordOf(const Word<Enum> (&words)[N], Enum value)
{
    for (const Word<Enum>& word : words) {
        if (word.value == value)
            return QLatin1String(word.text);
    }
    return QString();
}

// The first value whose word it is.
template <typename Enum, std::size_t N>
std::optional<Enum> valueOf(const Word<Enum> (&words)[N], const QString& text)
{
    for (const Word<Enum>& word : words) {
        if (text == QLatin1String(word.text))
            return word.value;
    }
    return std::nullopt;
}
