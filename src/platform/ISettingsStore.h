#pragma once

#include <QString>

// The per-user settings store: text values addressed by application, section and key.
class ISettingsStore
{
public:
    virtual ~ISettingsStore() = default;

    // The stored text, or defaultText when the key is absent. Never creates anything.
    virtual QString read(const QString& application, const QString& section, const QString& key,
                         const QString& defaultText) = 0;
    // Stores the text, creating application, section and key as needed; throws Failure when
    // the store refuses it.
    virtual void write(const QString& application, const QString& section, const QString& key,
                       const QString& text) = 0;
};
