#pragma once

#include <QString>

// Whether an address may be posted for a host that others are to reach.
struct PostableAddress
{
    enum class Kind {
        Unusable, // loopback, link-local, unspecified, or not an address at all: never posted
        Private,  // reaches this machine only from inside its own network: posted, with a warning
        Public,
    };
    Kind kind = Kind::Unusable;
    QString why; // what it is, when not public: "a loopback address" and the like

    static PostableAddress of(const QString& address);
};
