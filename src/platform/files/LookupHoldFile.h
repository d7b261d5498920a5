#pragma once

#include "platform/ILookupHold.h"

#include <QString>

// The lookup service's hold, in a one-line file of the user's state: the URL's digest (so a
// password in it is not written down once more) and the time in UTC. Anything else found there,
// a missing file or one that cannot be read, holds nothing.
class LookupHoldFile : public ILookupHold
{
public:
    explicit LookupHoldFile(QString path) : mPath(std::move(path)) {}

    QDateTime until(const QUrl& url) const override;
    void hold(const QUrl& url, const QDateTime& until) override;

private:
    QString mPath;
};
