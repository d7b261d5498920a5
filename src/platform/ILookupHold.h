#pragma once

#include <QDateTime>
#include <QUrl>

// A lookup service's request not to be asked again before a time (429 or 503 with
// Retry-After), kept from one run to the next: runs from a script a minute apart must honour
// it as one watcher does.
class ILookupHold
{
public:
    virtual ~ILookupHold() = default;

    // Until when (UTC) the service at the URL asked not to be asked; invalid when it did not.
    virtual QDateTime until(const QUrl& url) const = 0;
    // Keeps the request until the time, in place of any other. A request that cannot be kept only
    // lets the service be asked sooner, so nothing is said of it.
    virtual void hold(const QUrl& url, const QDateTime& until) = 0;
};
