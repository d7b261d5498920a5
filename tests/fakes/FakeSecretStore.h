#pragma once

#include "platform/Failure.h"
#include "platform/ISecretStore.h"

#include <QMap>
#include <QStringList>

#include <functional>

// An in-memory keyring that can be locked, or refuse one kind of call, and records its calls
// ("read alice@host", "write ...", "remove ...").
class FakeSecretStore : public ISecretStore
{
public:
    QString read(const QString& account) override
    {
        call(QStringLiteral("read ") + account);
        if (!secrets.contains(account))
            throw Failure(failures::kKeyring, QStringLiteral("The keyring holds none"),
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
        if (locked || (!refuse.isEmpty() && what.startsWith(refuse)))
            throw Failure(failures::kKeyring, QStringLiteral("The keyring stays locked"),
                          QStringLiteral("FakeSecretStore"));
    }
};
