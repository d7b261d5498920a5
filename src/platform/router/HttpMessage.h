#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

struct HttpReading;

// One HTTP/1.1 request or response read from what has arrived so far, held to sizes given by
// the reader: the router's event notifications and its answers to subscriptions.
struct HttpMessage
{
    QByteArray startLine;                             // "NOTIFY /path HTTP/1.1" or "HTTP/1.1 200 OK"
    QList<std::pair<QByteArray, QByteArray>> headers; // names in lower case, values trimmed
    QByteArray body;

    // The value of the first header of that name (in lower case), or empty.
    QByteArray header(QByteArrayView name) const;

    // What the bytes hold: a whole message (with no more than maxBody bytes of body), the start
    // of one (with no more than maxHead bytes of head so far), or something else.
    static HttpReading read(const QByteArray& bytes, qsizetype maxHead, qsizetype maxBody);
};

struct HttpReading
{
    enum class State { Incomplete, Complete, Invalid };
    State state = State::Incomplete;
    HttpMessage message; // with Complete
    QString why;         // with Invalid
};
