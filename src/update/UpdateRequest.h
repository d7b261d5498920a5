#pragma once

#include "address/AddressFrom.h"
#include "app/Operation.h"

#include <QString>

#include <optional>

class CSettings;

// What one conversation is asked to do, with all it needs: nothing is looked up in the
// settings while it runs.
struct UpdateRequest
{
    Operation operation = Operation::Update;
    QString server;
    qint32 port = 0;
    QString user;
    // As it is sent; read from the keyring first when keyringAccount is set.
    QString password;
    QString keyringAccount;
    QString host;
    // The address to post; none: the one "Current IP" means, where addressFrom says.
    std::optional<QString> address;
    AddressFrom addressFrom;
    // With the connection's address: the one it must go out from (the one that was checked);
    // empty: whichever it is.
    QString expectedAddress;

    // The request the settings make: the password as they know it, else from the keyring.
    static UpdateRequest of(const CSettings& settings, Operation operation);
};
