#pragma once

#include "address/AddressChoice.h"
#include "address/AddressFrom.h"

#include <QString>
#include <QStringList>

// What "--address-from" alone prints: the choice, what each source said, and the address a
// post would use, with the carrier-grade NAT line and the reason for a fallback when there is
// one.
struct AddressReport
{
    QStringList lines;
    bool wouldPost = false; // a post would have an address to send

    // otherIP: the address typed in the options when Other IP is chosen there; a post sends it
    // whatever the sources say.
    static AddressReport of(const AddressFrom& from, const AddressChoice::Readings& readings,
                            const QString& otherIP = QString());
};
