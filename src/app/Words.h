#pragma once

#include <QString>

#include <algorithm>
#include <iterator>
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
    const auto found = std::ranges::find(words, value, &Word<Enum>::value);
    return found == std::end(words) ? QString() : QLatin1String(found->text);
}

// The first value whose word it is.
template <typename Enum, std::size_t N>
std::optional<Enum> valueOf(const Word<Enum> (&words)[N], const QString& text)
{
    const auto found = std::ranges::find_if(
        words, [&text](const Word<Enum>& word) { return text == QLatin1String(word.text); });
    return found == std::end(words) ? std::nullopt : std::optional(found->value);
}
