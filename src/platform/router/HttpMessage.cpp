#include "platform/router/HttpMessage.h"

namespace {

HttpReading invalid(const QString& why)
{
    return {HttpReading::State::Invalid, {}, why};
}

} // namespace

QByteArray HttpMessage::header(QByteArrayView name) const
{
    for (const auto& [key, value] : headers) {
        if (key == name)
            return value;
    }
    return {};
}

HttpReading HttpMessage::read(const QByteArray& bytes, qsizetype maxHead, qsizetype maxBody)
{
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (bytes.size() > maxHead)
            return invalid(QStringLiteral("a head longer than %1 bytes").arg(maxHead));
        return {};
    }
    if (headEnd > maxHead)
        return invalid(QStringLiteral("a head longer than %1 bytes").arg(maxHead));

    HttpMessage message;
    const QList<QByteArray> lines = bytes.first(headEnd).split('\n');
    message.startLine = lines.first().trimmed();
    if (message.startLine.isEmpty())
        return invalid(QStringLiteral("no request or status line"));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return invalid(QStringLiteral("a header line without a name"));
        message.headers.append({line.first(colon).trimmed().toLower(), line.sliced(colon + 1).trimmed()});
    }
    if (!message.header("transfer-encoding").isEmpty())
        return invalid(QStringLiteral("a body in chunks"));

    qsizetype length = 0;
    if (const QByteArray given = message.header("content-length"); !given.isEmpty()) {
        bool ok = false;
        length = given.toLongLong(&ok);
        if (!ok || length < 0)
            return invalid(QStringLiteral("a length that is not a number"));
        if (length > maxBody)
            return invalid(QStringLiteral("a body longer than %1 bytes").arg(maxBody));
    }
    const qsizetype bodyStart = headEnd + 4;
    if (bytes.size() - bodyStart < length)
        return {};
    message.body = bytes.sliced(bodyStart, length);
    return {HttpReading::State::Complete, message, {}};
}
