#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <optional>

// What a lookup service's reply says: the one address its body holds, or why it says none.
struct LookupReply
{
    // At most this much of a body is read; a longer one is a failed lookup.
    static constexpr qsizetype kMaxBody = 4 * 1024;

    QString address; // empty when the lookup failed
    QString why;     // why it failed
    // A service that asks for a longer wait is asked again after this: its word must not keep
    // the name from being kept for good, nor overflow a clock.
    static constexpr std::chrono::hours kLongestRetryAfter{24};

    // How long the service asked not to be asked again (429 or 503 with Retry-After).
    std::optional<std::chrono::seconds> retryAfter;

    // status is the HTTP status, 0 when the request failed before one came; retryAfter the
    // header's value; now the time the reply came, for a Retry-After given as a date; failure
    // why no status came.
    static LookupReply of(int status, const QByteArray& body, const QByteArray& retryAfter,
                          const QDateTime& now, const QString& failure = QString());
};
