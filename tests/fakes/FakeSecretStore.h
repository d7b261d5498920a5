#pragma once

#include "platform/Failure.h"
#include "platform/ISecretStore.h"

#include <QMap>
#include <QStringList>

#include <functional>

// An in-memory keyring that can be absent or locked, or refuse one kind of call, and records
// its calls ("read alice@host", "write ...", "remove ...").
class FakeSecretStore : public ISecretStore
{
public:
    QString read(const QString& account) override
    {
        call(QStringLiteral("read ") + account);
        if (!secrets.contains(account))
            throw Failure(failures::kKeyring, QStringLiteral("The keyring holds none for ") + account,
                          QStringLiteral("FakeSecretStore"));
        return secrets.value(account);
    }
    void write(const QString& account, const QString& secret) override
    {
        call(QStringLiteral("write ") + account);
        secrets.insert(account, secret);
    }
    void remove(const QString& account) override
    {
        call(QStringLiteral("remove ") + account);
        secrets.remove(account);
    }

    QMap<QString, QString> secrets;
    QStringList calls;
    bool absent = false; // no keyring on the session bus
    bool locked = false; // locked, and the user does not unlock it
    QString refuse;      // a call that begins with this ("write", "remove") fails
    // Runs inside every call, as the event loop does while the real keyring is waited for.
    std::function<void()> during;

private:
    void call(const QString& what)
    {
        calls.append(what);
        if (during)
            during();
        const QString source = QStringLiteral("FakeSecretStore");
        if (absent)
            throw Failure(failures::kKeyring, QStringLiteral("No keyring on the session bus"), source);
        if (locked)
            throw Failure(failures::kKeyring, QStringLiteral("The keyring stays locked"), source);
        if (!refuse.isEmpty() && what.startsWith(refuse))
            throw Failure(failures::kKeyring, QStringLiteral("The keyring refused"), source);
    }
};
