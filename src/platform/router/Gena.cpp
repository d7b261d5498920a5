#include "platform/router/Gena.h"

#include <QXmlStreamReader>

namespace gena {

namespace {

QByteArray request(const char* method, const QByteArray& path, const QByteArray& host,
                   std::initializer_list<std::pair<const char*, QByteArray>> headers)
{
    QByteArray text = QByteArray(method) + ' ' + path + " HTTP/1.1\r\nHOST: " + host + "\r\n";
    for (const auto& [name, value] : headers)
        text += QByteArray(name) + ": " + value + "\r\n";
    return text + "Content-Length: 0\r\n\r\n";
}

QByteArray timeoutHeader()
{
    return "Second-" + QByteArray::number(static_cast<qint64>(kAskedTimeout.count()));
}

// "Second-1800", or "infinite" (which a router may say, and which is renewed like the asked one).
std::chrono::seconds timeoutOf(const QByteArray& value)
{
    const QByteArray lower = value.toLower();
    if (lower.startsWith("second-")) {
        bool ok = false;
        const qint64 seconds = lower.sliced(7).toLongLong(&ok);
        if (ok && seconds > 0)
            return std::chrono::seconds(seconds);
    }
    return kAskedTimeout;
}

std::optional<QString> externalAddressIn(const QByteArray& body)
{
    QXmlStreamReader xml(body);
    std::optional<QString> address;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QLatin1String("ExternalIPAddress"))
            address = xml.readElementText().trimmed();
    }
    if (xml.hasError())
        return std::nullopt;
    return address;
}

} // namespace

QUrl eventUrl(const QByteArray& urlBase, const QByteArray& descriptionUrl, const QByteArray& eventPath)
{
    if (eventPath.isEmpty())
        return {};
    const QUrl base = QUrl::fromEncoded(urlBase.isEmpty() ? descriptionUrl : urlBase, QUrl::StrictMode);
    const QUrl url = base.resolved(QUrl::fromEncoded(eventPath, QUrl::StrictMode));
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty())
        return {};
    return url;
}

QByteArray subscribeRequest(const QByteArray& host, const QByteArray& path, const QByteArray& callback)
{
    return request("SUBSCRIBE", path, host,
                   {{"CALLBACK", '<' + callback + '>'}, {"NT", "upnp:event"}, {"TIMEOUT", timeoutHeader()}});
}

QByteArray renewRequest(const QByteArray& host, const QByteArray& path, const QByteArray& sid)
{
    return request("SUBSCRIBE", path, host, {{"SID", sid}, {"TIMEOUT", timeoutHeader()}});
}

QByteArray unsubscribeRequest(const QByteArray& host, const QByteArray& path, const QByteArray& sid)
{
    return request("UNSUBSCRIBE", path, host, {{"SID", sid}});
}

std::optional<Subscription> readAnswer(const HttpMessage& answer)
{
    const QList<QByteArray> status = answer.startLine.split(' ');
    if (status.size() < 2 || !status.at(0).startsWith("HTTP/1.") || status.at(1) != "200")
        return std::nullopt;
    const QByteArray sid = answer.header("sid");
    if (sid.isEmpty())
        return std::nullopt;
    return Subscription{sid, timeoutOf(answer.header("timeout"))};
}

std::optional<Notification> readNotification(const HttpMessage& request)
{
    if (!request.startLine.startsWith("NOTIFY ") || request.header("nt") != "upnp:event" ||
        request.header("nts") != "upnp:propchange" || request.header("sid").isEmpty())
        return std::nullopt;
    Notification notification{request.header("sid"), externalAddressIn(request.body)};
    return notification;
}

QByteArray answer(int status)
{
    const char* reason = status == 200 ? "OK" : status == 412 ? "Precondition Failed" : "Bad Request";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

} // namespace gena
