#include "address/LookupReply.h"

#include "address/AddressRange.h"

#include <QHostAddress>
#include <QList>
#include <QRegularExpression>

#include <algorithm>

namespace {

// A run of characters an address is written with; it is an address when it reads as one.
QList<QHostAddress> addressesIn(const QByteArray& body)
{
    static const QRegularExpression token(QStringLiteral("[0-9A-Fa-f:.]+"));
    static const QRegularExpression dottedQuad(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    QList<QHostAddress> found;
    const QString text = QString::fromLatin1(body);
    for (auto match = token.globalMatch(text); match.hasNext();) {
        QString word = match.next().captured();
        // A sentence may end right after the address.
        while (word.endsWith(QLatin1Char('.')))
            word.chop(1);
        const bool v4 = dottedQuad.match(word).hasMatch();
        const bool v6 = word.count(QLatin1Char(':')) >= 2;
        QHostAddress address;
        if ((v4 || v6) && address.setAddress(word) && !found.contains(address))
            found.append(address);
    }
    return found;
}

std::optional<std::chrono::seconds> retryAfterOf(const QByteArray& value, const QDateTime& now)
{
    if (value.isEmpty())
        return std::nullopt;
    const qint64 longest = std::chrono::seconds(LookupReply::kLongestRetryAfter).count();
    bool ok = false;
    const qint64 seconds = value.trimmed().toLongLong(&ok);
    if (ok)
        return std::chrono::seconds(std::clamp<qint64>(seconds, 0, longest));
    // An HTTP date is always in GMT, which the reader of mail dates wants as an offset.
    QString date = QString::fromLatin1(value.trimmed());
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.chopped(4) + QLatin1String(" +0000");
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid())
        return std::nullopt;
    return std::chrono::seconds(std::clamp<qint64>(now.secsTo(when), 0, longest));
}

LookupReply failed(const QString& why)
{
    return {QString(), why, std::nullopt};
}

} // namespace

LookupReply LookupReply::of(int status, const QByteArray& body, const QByteArray& retryAfter,
                            const QDateTime& now, const QString& failure)
{
    if (status == 429 || status == 503) {
        LookupReply reply = failed(QStringLiteral("the lookup service is busy (HTTP %1)").arg(status));
        reply.retryAfter = retryAfterOf(retryAfter, now);
        return reply;
    }
    if (status == 0)
        return failed(QStringLiteral("the lookup service could not be reached") +
                      (failure.isEmpty() ? QString() : QStringLiteral(": ") + failure));
    if (status < 200 || status > 299)
        return failed(QStringLiteral("the lookup service answered HTTP %1").arg(status));
    if (body.size() > kMaxBody)
        return failed(QStringLiteral("the lookup service's answer is longer than %1 bytes").arg(kMaxBody));
    const QList<QHostAddress> addresses = addressesIn(body);
    if (addresses.isEmpty())
        return failed(QStringLiteral("the lookup service's answer holds no address"));
    if (addresses.size() > 1)
        return failed(QStringLiteral("the lookup service's answer holds %1 addresses").arg(addresses.size()));
    const QHostAddress& address = addresses.first();
    if (const std::optional<AddressRange> range = AddressRange::of(address);
        range && (range->use == AddressRange::Use::Loopback || range->use == AddressRange::Use::LinkLocal ||
                  range->use == AddressRange::Use::Unspecified))
        return failed(QStringLiteral("the lookup service answered ") + address.toString() +
                      QStringLiteral(", ") + range->what);
    return {address.toString(), QString(), std::nullopt};
}
