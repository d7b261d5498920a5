#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

// A lookup service on the web that answers with the address a request came from.
class IAddressLookup
{
public:
    struct Reply
    {
        int status = 0;        // the HTTP status; 0 when none came or the time ran out midway
        QByteArray body;       // at most one byte more than the reader takes, then cut off
        QByteArray retryAfter; // the Retry-After header as it came
        QString failure;       // with no status: why (no connection, a time-out)
    };

    virtual ~IAddressLookup() = default;

    // Asks the service with a GET and answers later through done, within a time-out. A later
    // call supersedes one that has not answered yet: its done is never called.
    virtual void lookUp(const QUrl& url, std::function<void(const Reply&)> done) = 0;
};
