#include "address/AddressFrom.h"

#include <utility>

namespace {

constexpr std::pair<AddressFrom::Source, const char*> kWords[] = {
    {AddressFrom::Source::Auto, "auto"},
    {AddressFrom::Source::Connection, "connection"},
    {AddressFrom::Source::Router, "router"},
};

} // namespace

std::optional<AddressFrom> AddressFrom::read(const QString& given)
{
    const QString text = given.trimmed();
    if (text.isEmpty())
        return AddressFrom{};
    for (const auto& [source, word] : kWords) {
        if (text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return AddressFrom{source, {}};
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty())
        return std::nullopt;
    return AddressFrom{Source::Lookup, url};
}

QString AddressFrom::text() const
{
    if (source == Source::Lookup)
        return lookup.toString(QUrl::FullyEncoded);
    for (const auto& [known, word] : kWords) {
        if (known == source)
            return QLatin1String(word);
    }
    return {};
}

QString AddressFrom::shown() const
{
    return source == Source::Lookup ? lookup.toString(QUrl::FullyEncoded | QUrl::RemovePassword) : text();
}
